// The console's settings file is replaced whole or not at all: it is written beside its final
// name, flushed to the disk and renamed over the old one. Failures are told on the error
// stream, which the console's own printing does not reach.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "datatypes/string.h"
#include "routines.h"
#include "services/simple_io.h"

namespace tav::routines {

namespace {

bool write_all(int fd, const std::string& bytes) {
  size_t done_bytes = 0;
  while (done_bytes < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done_bytes, bytes.size() - done_bytes);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done_bytes += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

Status write_file_atomic(const int32_t*) {
  std::string path;
  if (!simple_io::local_path(arg(0), &path)) return done_logic(false);
  std::string tmp = path + ".tmp";
  std::string bytes = string::to_std_string(arg(1));
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return done_logic(false);
  bool ok = write_all(fd, bytes) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(tmp.c_str());
  return done_logic(ok);
}

Status write_stderr(const int32_t*) {
  std::fflush(stdout);
  std::string bytes = string::to_std_string(arg(0));
  std::fwrite(bytes.data(), 1, bytes.size(), stderr);
  std::fflush(stderr);
  return done_unset();
}

}  // namespace tav::routines

#include "services/simple_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "core/memory.h"
#include "platform/platform.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/unicode.h"

namespace tav::simple_io {

namespace simple_io_detail {

// Values are at most 2 GiB - 1 bytes; anything larger is out of range.
constexpr int64_t MAX_READ = INT32_MAX;
constexpr size_t STREAM_CHUNK = 65536;
constexpr size_t BIG_CHUNK = size_t(16) << 20;

// Closes a descriptor on every way out, errors included.
struct FdGuard {
  int fd;
  bool owned;
  FdGuard(int f, bool o) : fd(f), owned(o) {}
  FdGuard(const FdGuard&) = delete;
  FdGuard& operator=(const FdGuard&) = delete;
  ~FdGuard() {
    if (owned && fd >= 0) ::close(fd);
  }
};

int64_t int_arg(const char* refinement, const Cell* arg) {
  if (!arg->is(TYPE_INTEGER)) actions::raise_invalid_refine(refinement, arg);
  return arg->int_value();
}

[[noreturn]] void raise_cannot_open(const Cell* file) {
  Cell none;
  error::raise(ERR_ACCESS, "cannot-open", file ? file : set_none(&none));
}

// Reads until want bytes are in out (want < 0: to the end of the data); false on a read
// error or when the data grows out of range.
bool read_into(int fd, std::vector<uint8_t>* out, int64_t want) {
  for (;;) {
    size_t have = out->size();
    if (want >= 0 && static_cast<int64_t>(have) >= want) return true;
    if (static_cast<int64_t>(have) > MAX_READ) return false;
    size_t chunk = want >= 0 ? std::min(static_cast<size_t>(want) - have, BIG_CHUNK) : STREAM_CHUNK;
    out->resize(have + chunk);
    ssize_t got = ::read(fd, out->data() + have, chunk);
    if (got < 0) {
      out->resize(have);
      if (errno == EINTR) continue;
      return false;
    }
    out->resize(have + static_cast<size_t>(got));
    if (got == 0) return static_cast<int64_t>(out->size()) <= MAX_READ;
  }
}

// The bytes a read asks for. A regular file with a known size is read from seek for at most
// part bytes; anything else (pipes, devices, files that report no size) is read as a stream,
// once, up to what seek and part need.
bool read_bytes(int fd, int64_t part, int64_t seek, std::vector<uint8_t>* bytes) {
  int64_t total = size(fd);
  if (total > MAX_READ) return false;
  if (total > 0) {
    if (seek >= 0) {
      if (seek >= total) return true;
      if (::lseek(fd, seek, SEEK_SET) < 0) return false;
      total -= seek;
    }
    if (part == 0) return true;
    if (part > 0 && part < total) total = part;
    bytes->reserve(static_cast<size_t>(total));
    return read_into(fd, bytes, total);
  }
  int64_t skip = seek > 0 ? seek : 0;
  if (part == 0) return true;
  if (!read_into(fd, bytes, part > 0 ? skip + part : -1)) return false;
  if (skip >= static_cast<int64_t>(bytes->size())) {
    bytes->clear();
    return true;
  }
  bytes->erase(bytes->begin(), bytes->begin() + skip);
  if (part > 0 && part < static_cast<int64_t>(bytes->size())) bytes->resize(part);
  return true;
}

// Drops the CR of each CR LF pair in place.
void fold_crlf(std::vector<uint8_t>* bytes) {
  size_t n = bytes->size();
  uint8_t* p = bytes->data();
  // Most text has no CR: nothing moves before the first one.
  const void* cr = n ? std::memchr(p, '\r', n) : nullptr;
  if (!cr) return;
  size_t w = static_cast<size_t>(static_cast<const uint8_t*>(cr) - p);
  for (size_t r = w; r < n; r++) {
    if (p[r] == '\r' && r + 1 < n && p[r + 1] == '\n') continue;
    p[w++] = p[r];
  }
  bytes->resize(w);
}

Cell* push_binary(const uint8_t* bytes, size_t len) {
  Cell* out = stack::new_cell();
  set_unset(out);
  uint32_t at = stack::index_of(out);
  NodeId n = alloc::new_bytes(static_cast<uint32_t>(len));
  SeriesBuffer* b = node_buffer(n);
  if (len) std::memcpy(b->data(), bytes, len);
  b->head = 0;
  b->tail = static_cast<uint32_t>(len);
  out = stack::at_index(at);
  *out = make_cell(TYPE_BINARY, 0, n, 0);
  return out;
}

// Bytes of one value to write, kept alive by a cell pushed on the argument stack.
struct Bytes {
  NodeId node;
  uint32_t offset;
  uint32_t length;
};

Bytes value_bytes(Cell* value, int64_t limit) {
  if (value->is(TYPE_BINARY)) {
    Cell* kept = stack::push(value);
    int32_t index = static_cast<int32_t>(kept->index());
    uint32_t used = cell_buffer(kept)->count();
    uint32_t from = index < 0 ? 0 : std::min(static_cast<uint32_t>(index), used);
    uint32_t len = used - from;
    if (limit >= 0 && limit < len) len = static_cast<uint32_t>(limit);
    return {kept->node(), from, len};
  }
  Cell* text = value;
  if (!value->is(TYPE_STRING)) {
    limit = -1;
    Cell* scratch = string::make_at(stack::new_cell(), 16);
    uint32_t at = stack::index_of(scratch);
    Cell copy = *value;
    actions::mold_direct(&copy, scratch, false, false, false, nullptr, INT_MAX, 0);
    text = stack::at_index(at);
  }
  int32_t count = limit < 0 ? -1 : static_cast<int32_t>(std::min<int64_t>(limit, INT32_MAX));
  NodeId n = string::to_utf8(text, count, false);
  Cell bin = make_cell(TYPE_BINARY, 0, n, 0);
  stack::push(&bin);
  return {n, 0, node_buffer(n)->used()};
}

// Writes every byte (the buffer is re-read after each call); the count, or -1.
int64_t write_all(int fd, const Bytes& b) {
  uint32_t done = 0;
  while (done < b.length) {
    const uint8_t* p = node_buffer(b.node)->head_ptr() + b.offset + done;
    ssize_t n = ::write(fd, p, b.length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    done += static_cast<uint32_t>(n);
  }
  return done;
}

int64_t write_newline(int fd) {
  for (;;) {
    ssize_t n = ::write(fd, "\n", 1);
    if (n < 0 && errno == EINTR) continue;
    return n == 1 ? 1 : -1;
  }
}

}  // namespace simple_io_detail

bool read_whole(const std::string& path, std::string* out) {
  int fd = open(path, OPEN_READ);
  if (fd < 0) return false;
  std::vector<uint8_t> bytes;
  bool ok = simple_io_detail::read_bytes(fd, -1, -1, &bytes);
  close(fd);
  if (ok) out->assign(bytes.begin(), bytes.end());
  return ok;
}

bool dir_path_q(const Cell* file) {
  NodeId n = file->node();
  uint32_t from = string::clamped_index(file);
  uint32_t len = string::length(file);
  if (len == 0) return false;
  auto at = [&](uint32_t i) { return string::char_at(n, from + i); };
  if (at(len - 1) == '/') return true;
  // ".", "..", ".../." and ".../..": the last component is made of one or two dots.
  uint32_t dots = 0;
  while (dots < len && dots < 3 && at(len - 1 - dots) == '.') dots++;
  if (dots == 0 || dots > 2) return false;
  return dots == len || at(len - 1 - dots) == '/';
}

bool local_path(const Cell* file, std::string* out) {
  out->clear();
  NodeId n = file->node();
  uint32_t from = string::clamped_index(file);
  uint32_t len = string::length(file);
  out->reserve(len);
  for (uint32_t i = 0; i < len; i++) {
    uint32_t cp = string::char_at(n, from + i);
    if (cp == 0) return false;
    if (cp >= 0xDC80 && cp <= 0xDCFF) {
      out->push_back(static_cast<char>(cp - 0xDC00));
      continue;
    }
    uint8_t bytes[4];
    int k = unicode::encode_utf8_char(cp, bytes);
    if (k == 0) return false;
    out->append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(k));
  }
  return true;
}

void append_system_name(NodeId out, const char* bytes, size_t len) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes);
  size_t i = 0;
  while (i < len) {
    size_t used = 0;
    int32_t cp = unicode::decode_utf8_checked(p + i, len - i, &used);
    if (cp < 0 || used == 0) {
      string::append_char(out, 0xDC00u + p[i]);
      i++;
    } else {
      string::append_char(out, static_cast<uint32_t>(cp));
      i += used;
    }
  }
}

int open(const std::string& path, int mode) {
  int flags = O_CLOEXEC;
  if (mode & OPEN_READ) {
    flags |= O_RDONLY;
  } else {
    flags |= O_WRONLY | O_CREAT;
    if (!(mode & (OPEN_APPEND | OPEN_SEEK))) flags |= O_TRUNC;
  }
  for (;;) {
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0 && errno == EINTR) continue;
    return fd;
  }
}

int64_t size(int fd) {
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

void close(int fd) {
  if (fd >= 0) ::close(fd);
}

Cell* read(Cell* file, Cell* part, Cell* seek, bool binary, bool lines, bool) {
  using namespace simple_io_detail;
  if (dir_path_q(file)) return read_dir(file);
  int64_t p = part ? int_arg("part", part) : -1;
  int64_t s = seek ? int_arg("seek", seek) : -1;
  std::string path;
  if (!local_path(file, &path)) raise_cannot_open(file);
  Cell* result = read_file(path, p, s, binary, lines);
  if (result->is(TYPE_NONE)) raise_cannot_open(file);
  return result;
}

Cell* read_file(const std::string& path, int64_t part, int64_t seek, bool binary, bool lines) {
  using namespace simple_io_detail;
  std::vector<uint8_t> bytes;
  {
    FdGuard fd{open(path, OPEN_READ), true};
    if (fd.fd < 0 || !read_bytes(fd.fd, part, seek, &bytes)) return set_none(stack::new_cell());
  }
  if (binary) return push_binary(bytes.data(), bytes.size());
  if (bytes.empty()) return string::make_at(stack::new_cell(), 1);
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    bytes.erase(bytes.begin(), bytes.begin() + 3);
  if (lines) return lines_to_block(bytes.data(), bytes.size());
  fold_crlf(&bytes);
  return string::load(bytes.data(), bytes.size(), stack::new_cell(), string::ENCODING_UTF8);
}

Cell* read_dir(Cell* file) {
  using namespace simple_io_detail;
  std::string path;
  if (!local_path(file, &path)) raise_cannot_open(file);
  std::vector<std::pair<std::string, bool>> entries;
  {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) raise_cannot_open(file);
    while (dirent* e = ::readdir(dir)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      bool is_dir = e->d_type == DT_DIR;
      if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
        struct stat st;
        is_dir = ::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
      }
      entries.emplace_back(e->d_name, is_dir);
    }
    ::closedir(dir);
  }
  std::sort(entries.begin(), entries.end());
  Cell* blk = block::push_only(static_cast<int32_t>(entries.size()));
  uint32_t blk_at = stack::index_of(blk);
  for (const auto& [name, is_dir] : entries) {
    Cell* entry = string::make_at(stack::new_cell(), static_cast<uint32_t>(name.size() + 1));
    append_system_name(entry->node(), name.data(), name.size());
    if (is_dir) string::append_char(entry->node(), '/');
    entry->set_type(TYPE_FILE);
    block::append_cell(stack::at_index(blk_at), entry);
    stack::pop(1);
  }
  return stack::at_index(blk_at);
}

Cell* lines_to_block(const uint8_t* bytes, size_t len) {
  Cell* blk = block::push_only(1);
  uint32_t blk_at = stack::index_of(blk);
  size_t start = 0;
  while (start < len) {
    const void* lf = std::memchr(bytes + start, '\n', len - start);
    size_t end = lf ? static_cast<size_t>(static_cast<const uint8_t*>(lf) - bytes) : len;
    size_t stop = end;
    if (lf && stop > start && bytes[stop - 1] == '\r') stop--;
    Cell* line = string::load(bytes + start, stop - start, stack::new_cell(),
                              string::ENCODING_UTF8);
    block::append_cell(stack::at_index(blk_at), line);
    stack::pop(1);
    start = end + 1;
  }
  return stack::at_index(blk_at);
}

int64_t write(Cell* file, Cell* data, Cell* part, Cell* seek, bool, bool append, bool lines) {
  using namespace simple_io_detail;
  int64_t limit = -1;
  if (part) {
    limit = int_arg("part", part);
    if (limit < 0) return -1;
  }
  int64_t at = seek ? int_arg("seek", seek) : -1;
  stack::State saved = stack::save();
  uint32_t file_at = file ? stack::index_of(stack::push(file)) : 0;
  uint32_t data_at = stack::index_of(stack::push(data));
  bool block_lines = lines && data->is(TYPE_BLOCK);
  auto file_cell = [&]() -> const Cell* { return file ? stack::at_index(file_at) : nullptr; };

  // The bytes of a single value are ready before the file is touched: molding may fail.
  Bytes single{};
  if (!block_lines) single = value_bytes(stack::at_index(data_at), limit);

  FdGuard fd{1, false};
  if (file) {
    fd.owned = true;
    fd.fd = -1;
    std::string path;
    if (!local_path(file_cell(), &path)) raise_cannot_open(file_cell());
    int mode = OPEN_WRITE | (append ? OPEN_APPEND : 0) | (at >= 0 ? OPEN_SEEK : 0);
    fd.fd = open(path, mode);
    if (fd.fd < 0) raise_cannot_open(file_cell());
    if (at > 0 && ::lseek(fd.fd, at, SEEK_SET) < 0) raise_cannot_open(file_cell());
    if (append && ::lseek(fd.fd, 0, SEEK_END) < 0) raise_cannot_open(file_cell());
  }

  int64_t last = 0;
  if (block_lines) {
    int32_t count = block::rs_length(stack::at_index(data_at));
    for (int32_t i = 0; i < count && last >= 0; i++) {
      Cell* blk = stack::at_index(data_at);
      if (i >= block::rs_length(blk)) break;   // molding a value changed the block
      Cell value = *(block::rs_head(blk) + i);
      stack::State before = stack::save();
      Bytes b = value_bytes(&value, -1);
      last = write_all(fd.fd, b);
      stack::restore(before);
      if (last >= 0) last = write_newline(fd.fd);
    }
  } else {
    last = write_all(fd.fd, single);
    if (last >= 0 && lines) last = write_newline(fd.fd);
  }
  if (last < 0) raise_cannot_open(file_cell());
  stack::restore(saved);
  return last;
}

bool delete_(const Cell* file) {
  std::string path;
  if (!local_path(file, &path)) return false;
  if (dir_path_q(file)) return ::rmdir(path.c_str()) == 0;
  return ::unlink(path.c_str()) == 0;
}

Cell* query_date(const Cell* file, Cell* out) {
  std::string path;
  struct stat st;
  if (!local_path(file, &path) || ::stat(path.c_str(), &st) != 0) return set_none(out);
  if (!path.empty() && path.back() == '/' && !S_ISDIR(st.st_mode)) return set_none(out);
  time_t seconds = st.st_mtim.tv_sec;
  tm parts{};
  if (!gmtime_r(&seconds, &parts)) return set_none(out);
  uint32_t bits = platform::pack_date(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, 0);
  bits |= 1u << 16;   // the value has a time
  int64_t millis = st.st_mtim.tv_nsec / 1000000;
  double time = parts.tm_hour * 3600.0 + parts.tm_min * 60.0 + parts.tm_sec + millis / 1000.0;
  *out = make_cell(TYPE_DATE, bits);
  out->set_float_value(time);
  return out;
}

bool rename(const Cell* from, const Cell* to) {
  std::string a, b;
  if (!local_path(from, &a) || !local_path(to, &b)) return false;
  if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  // The file system cannot refuse to replace by itself: a hard link fails when the target
  // exists, and the old name goes once the new one is in place.
  if (::link(a.c_str(), b.c_str()) == 0) {
    if (::unlink(a.c_str()) == 0) return true;
    ::unlink(b.c_str());
    return false;
  }
  if (errno != EPERM) return false;
  // Folders cannot be linked: rename them only while the target is absent.
  struct stat st;
  if (::lstat(b.c_str(), &st) == 0 || errno != ENOENT) return false;
  return ::rename(a.c_str(), b.c_str()) == 0;
}

}  // namespace tav::simple_io

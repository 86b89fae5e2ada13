// Making folders and asking whether a name exists.
#include <sys/stat.h>

#include <string>

#include "services/simple_io.h"

namespace tav::simple_io {

bool make_dir(const Cell* file) {
  std::string path;
  if (!local_path(file, &path) || path.empty()) return false;
  // A trailing "/" names the same folder.
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return ::mkdir(path.c_str(), 0777) == 0;
}

bool file_exists(const Cell* file) {
  std::string path;
  if (!local_path(file, &path) || path.empty()) return false;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return false;
  // A name written as a folder's must be one.
  return path.back() != '/' || S_ISDIR(st.st_mode);
}

}  // namespace tav::simple_io

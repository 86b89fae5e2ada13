// The process's directory, folders, existence of names, standard output and the system's
// description.
#include <cstdio>
#include <string>

#include "core/errors.h"
#include "datatypes/file.h"
#include "evaluator/natives.h"
#include "platform/platform.h"
#include "routines.h"
#include "services/os_info.h"
#include "services/simple_io.h"

namespace tav::routines {

Status last_lf_q(const int32_t*) { return done_logic(natives::last_line_feed()); }

Status get_current_dir(const int32_t*) {
  *stack::base = *file::get_current_dir();
  return done();
}

Status set_current_dir(const int32_t*) {
  std::string path;
  if (!simple_io::local_path(arg(0), &path) || !platform::set_current_dir(path.c_str()))
    error::raise(ERR_ACCESS, "cannot-open", arg(0));
  return done_unset();
}

Status create_dir(const int32_t*) {
  if (!simple_io::make_dir(arg(0))) error::raise(ERR_ACCESS, "no-create", arg(0));
  return done_unset();
}

Status exists_q(const int32_t*) { return done_logic(simple_io::file_exists(arg(0))); }

Status write_stdout(const int32_t*) {
  // What the host printed through the C library goes out first.
  std::fflush(stdout);
  simple_io::write(nullptr, arg(0), nullptr, nullptr, false, false, false);
  return done_unset();
}

Status os_info(const int32_t*) {
  *stack::base = *os::push_info();
  return done();
}

}  // namespace tav::routines

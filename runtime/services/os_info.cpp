#include "services/os_info.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <sstream>

#include "core/context.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/object.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "services/simple_io.h"

namespace tav::os {

namespace os_detail {

std::string arch_name(const std::string& m) {
  if (m == "x86_64" || m == "amd64") return "x86-64";
  if (m.size() == 4 && m[0] == 'i' && m.compare(2, 2, "86") == 0) return "x86-32";
  if (m == "aarch64" || m == "arm64") return "ARM64";
  if (m.compare(0, 3, "arm") == 0) return "ARM";
  if (m == "ia64") return "IA-64";
  return "Unknown";
}

// The value of PRETTY_NAME, its quotes taken off; empty when there is none.
std::string pretty_name(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, 12, "PRETTY_NAME=") != 0) continue;
    std::string v = line.substr(12);
    while (!v.empty() && (v.back() == '\r' || v.back() == ' ')) v.pop_back();
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
      v = v.substr(1, v.size() - 2);
    return v;
  }
  return "";
}

// Reads a run of digits at i (moving past it), held to max.
uint32_t number_at(const std::string& s, size_t* i, uint32_t max) {
  uint32_t n = 0;
  while (*i < s.size() && s[*i] >= '0' && s[*i] <= '9') {
    n = n * 10 + uint32_t(s[*i] - '0');
    if (n > max) n = max;
    ++*i;
  }
  return n;
}

}  // namespace os_detail

Info describe(const std::string& machine, const std::string& release,
              const std::string& os_release) {
  Info info{};
  std::string pretty = os_detail::pretty_name(os_release);
  info.name = pretty.empty() ? "Linux" : "Linux " + pretty;
  info.arch = os_detail::arch_name(machine);
  // "6.1.0-18-amd64": the version is 6.1.0 and the build 18.
  size_t i = 0;
  for (int k = 0; k < 3; ++k) {
    info.version[k] = static_cast<uint8_t>(os_detail::number_at(release, &i, 255));
    if (i < release.size() && release[i] == '.') ++i;
    else break;
  }
  size_t dash = release.find('-');
  if (dash != std::string::npos) {
    size_t j = dash + 1;
    info.build = static_cast<int32_t>(os_detail::number_at(release, &j, INT32_MAX));
  }
  return info;
}

Info current() {
  struct utsname u{};
  std::string machine, release;
  if (uname(&u) == 0) {
    machine = u.machine;
    release = u.release;
  }
  std::string os_release;
  if (!simple_io::read_whole("/etc/os-release", &os_release))
    simple_io::read_whole("/usr/lib/os-release", &os_release);
  return describe(machine, release, os_release);
}

Cell* push_info() {
  Info info = current();
  Cell* obj = object::make_at(stack::new_cell(), 4);
  NodeId ctx = object::context_of(obj);
  // The name stays on the stack until the object holds it.
  Cell* name = string::load_new(reinterpret_cast<const uint8_t*>(info.name.data()),
                                info.name.size(), string::ENCODING_UTF8);
  context::put(ctx, symbol::make("name"), name);
  Cell arch = word::make(symbol::make(info.arch.c_str()));
  context::put(ctx, symbol::make("arch"), &arch);
  Cell version;
  tuple::make_rgba(&version, info.version[0], info.version[1], info.version[2], -1);
  context::put(ctx, symbol::make("version"), &version);
  Cell build;
  set_integer(&build, info.build);
  context::put(ctx, symbol::make("build"), &build);
  stack::top = obj + 1;
  return obj;
}

}  // namespace tav::os

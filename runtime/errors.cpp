#include "errors.h"

#include <cstring>
#include <string>
#include <vector>

#include "stack.h"

namespace tav::error {

// Until error! objects exist, an error cell refers by index to a record kept here.
namespace errors_detail {
struct Record {
  ErrorCategory cat;
  std::string id;
};
std::vector<Record> records;

const char* category_title(ErrorCategory c) {
  static const char* const titles[] = {"Throw Error", "Note",          "Syntax Error",
                                       "Script Error", "Math Error",   "Access Error",
                                       "Reserved1 Error", "Reserved2 Error", "User Error",
                                       "Internal Error"};
  return c <= ERR_INTERNAL ? titles[c] : "Error";
}
}  // namespace errors_detail

void create(ErrorCategory cat, const char* id, const Cell*, const Cell*, const Cell*, Cell* out) {
  errors_detail::records.push_back({cat, id});
  *out = make_cell(TYPE_ERROR, 0, static_cast<uint32_t>(errors_detail::records.size()));
}

[[noreturn]] void raise(ErrorCategory cat, const char* id, const Cell* arg1, const Cell* arg2,
                        const Cell* arg3) {
  Cell err;
  create(cat, id, arg1, arg2, arg3, &err);
  stack::throw_error(&err);
}

void form_for_console(const Cell* err, void (*sink)(const char*, size_t, void*), void* ctx) {
  std::string text = "*** ";
  uint32_t i = err->data2;
  if (i >= 1 && i <= errors_detail::records.size()) {
    const auto& r = errors_detail::records[i - 1];
    text += errors_detail::category_title(r.cat);
    text += ": ";
    text += r.id;
  } else {
    text += "Error";
  }
  sink(text.data(), text.size(), ctx);
}

}  // namespace tav::error

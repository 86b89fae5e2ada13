#include "core/output.h"

#include <cstdlib>
#include <cstring>

namespace tav {
namespace hook_lists {

template <typename Fn>
struct HookList {
  Fn* items = nullptr;
  int count = 0;
  int capacity = 0;

  void reset() {
    std::free(items);
    items = static_cast<Fn*>(std::malloc(sizeof(Fn) * hook::LIST_GROWTH));
    if (!items) std::abort();
    count = 0;
    capacity = hook::LIST_GROWTH;
  }

  void append(Fn fn) {
    if (count == capacity) {
      // Grow in small fixed steps: listeners are few and registered once.
      int grown = capacity + hook::LIST_GROWTH;
      Fn* bigger = static_cast<Fn*>(std::malloc(sizeof(Fn) * grown));
      if (!bigger) std::abort();
      if (count) std::memcpy(bigger, items, sizeof(Fn) * count);
      std::free(items);
      items = bigger;
      capacity = grown;
    }
    items[count++] = fn;
  }

  void remove_first(Fn fn) {
    for (int i = 0; i < count; ++i) {
      if (items[i] == fn) {
        std::memmove(items + i, items + i + 1, sizeof(Fn) * (count - i - 1));
        --count;
        return;
      }
    }
  }
};

HookList<PrintHook> print_list;
HookList<OutputHook> output_list;

void ensure_lists() {
  if (!print_list.items) print_list.reset();
  if (!output_list.items) output_list.reset();
}

}  // namespace hook_lists

namespace hook {

void init() {
  hook_lists::print_list.reset();
  hook_lists::output_list.reset();
}

// Indexing the live array on each step lets a callback add or remove listeners safely.
void run_print_list(const Cell* text, bool new_line) {
  auto& list = hook_lists::print_list;
  for (int i = 0; i < list.count; ++i) list.items[i](text, new_line);
}

void run_output_list(const char* bytes, int length, bool new_line) {
  auto& list = hook_lists::output_list;
  for (int i = 0; i < list.count; ++i) list.items[i](bytes, length, new_line);
}

int print_count() { return hook_lists::print_list.count; }
int print_capacity() { return hook_lists::print_list.capacity; }
int output_count() { return hook_lists::output_list.count; }
int output_capacity() { return hook_lists::output_list.capacity; }

}  // namespace hook

namespace dyn_print {

void add(PrintHook print, OutputHook output) {
  hook_lists::ensure_lists();
  if (print) hook_lists::print_list.append(print);
  if (output) hook_lists::output_list.append(output);
}

void remove(PrintHook print, OutputHook output) {
  if (print) hook_lists::print_list.remove_first(print);
  if (output) hook_lists::output_list.remove_first(output);
}

}  // namespace dyn_print

}  // namespace tav

// Feeds arbitrary bytes to the codec-mode Tavbin decoder: every input must decode or end in a
// language error, without crash, hang or leak of runtime state.
#include <cstddef>
#include <cstdint>

#include "core/collector.h"
#include "core/memory.h"
#include "runtime.h"
#include "scanner/tavbin.h"
#include "core/stack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    tav::runtime::process_setup(0, nullptr);
    tav::runtime::init();
    ready = true;
  }
  tav::stack::State saved = tav::stack::save();
  tav::stack::mark_try(nullptr);
  try {
    tav::Cell target = tav::make_cell(tav::TYPE_BLOCK, 0, tav::alloc::new_cells(4));
    tav::stack::push(&target);
    tav::tavbin::decode(data, static_cast<int64_t>(size), &target, true);
  } catch (const tav::Unwind&) {
  }
  tav::stack::restore(saved);
  // Nothing holds the decoded values any more.
  static unsigned runs = 0;
  if (++runs % 256 == 0) tav::collector::collect();
  return 0;
}

// Feeds arbitrary bytes to the codec-mode Tavbin decoder, directly and as a script reaches it
// (`load/as data 'tavbin`, through the codec object's decode routine): every input must
// decode or end in a language error, without crash, hang or leak of runtime state.
#include <cstddef>
#include <cstdint>

#include "core/collector.h"
#include "core/memory.h"
#include "core/stack.h"
#include "datatypes/binary.h"
#include "datatypes/block.h"
#include "evaluator/interpreter.h"
#include "runtime.h"
#include "scanner/lexer.h"
#include "scanner/tavbin.h"
#include "tools/runner/runner.h"

namespace {

// The script run on each input, its second value the word that holds the input; it stays on
// the stack below every run, where the collector sees it.
tav::Cell* script = nullptr;

void decode_directly(const uint8_t* data, size_t size) {
  tav::Cell target = tav::make_cell(tav::TYPE_BLOCK, 0, tav::alloc::new_cells(4));
  tav::stack::push(&target);
  tav::tavbin::decode(data, static_cast<int64_t>(size), &target, true);
}

void decode_through_load(const uint8_t* data, size_t size) {
  tav::Cell* input = tav::binary::load(data, size);
  tav::interp::set_word(tav::block::cell_at(script, 1), input);
  tav::interp::eval_block(script, false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!script) {
    tav::runtime::process_setup(0, nullptr);
    tav::runner::start();
    script = tav::set_none(tav::stack::new_cell());
    tav::lexer::transcode("load/as fuzz-input 'tavbin", script);
  }
  for (auto run : {decode_directly, decode_through_load}) {
    tav::stack::State saved = tav::stack::save();
    tav::stack::mark_try(nullptr);
    try {
      run(data, size);
    } catch (const tav::Unwind&) {
    }
    tav::stack::restore(saved);
  }
  // Nothing holds the decoded values any more.
  static unsigned runs = 0;
  if (++runs % 256 == 0) tav::collector::collect();
  return 0;
}

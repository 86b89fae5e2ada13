#include "boot.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "collector.h"
#include "datatypes/block.h"
#include "datatypes/native.h"
#include "datatypes/string.h"
#include "errors.h"
#include "evaluator/interpreter.h"
#include "memory.h"
#include "runtime.h"
#include "scanner/lexer.h"
#include "stack.h"
#include "symbols.h"
#include "words.h"

namespace tav::boot {

namespace boot_detail {

// The boot sources make every value with `make`, including the action `make` itself. Until
// that line runs, the word holds a plain action 1 with a two-argument spec.
void bind_first_make() {
  Cell* spec = set_none(stack::new_cell());
  lexer::transcode("[type spec] 1", spec);
  Cell proto = make_cell(TYPE_ACTION);
  Cell value = *native_type::make(&proto, spec, TYPE_ACTION);
  Cell word = word::make(symbol::make("make"));
  interp::set_word(&word, &value);
  stack::top = spec;
}

[[noreturn]] void fail_with(const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  std::exit(1);
}

[[noreturn]] void fail(const char* source, const std::string& why) {
  fail_with("*** Start-up failed in the boot source " + std::string(source) + "\n" + why);
}

[[noreturn]] void fail_malformed() {
  fail_with("*** Start-up failed: the boot image holds no boot code");
}

}  // namespace boot_detail

bool image_loaded = false;

const Cell* image() { return image_loaded ? runtime::root_cell(runtime::boot_root_index) : nullptr; }

void evaluate(const Cell* code, const char* name) {
  Cell block = *code;
  Status s = interp::eval_block(&block, false);
  if (s != CODE_NONE) boot_detail::fail(name, "break, return or throw at top level");
}

void run_sources() {
  const Cell* root = image();
  if (!root) return;
  if (!root->is(TYPE_BLOCK) || block::rs_length(root) % 2 != 0)
    boot_detail::fail_malformed();
  stack::State saved = stack::save();
  std::string current = "the boot set-up";
  stack::mark_try(nullptr);
  try {
    boot_detail::bind_first_make();
    int32_t n = block::rs_length(root);
    for (int32_t i = 0; i < n; i += 2) {
      // Read afresh each time: a collection during evaluation may move the block's buffer.
      const Cell* pair = block::cell_at(root, root->index() + i);
      if (!pair[0].is(TYPE_FILE) || !pair[1].is(TYPE_BLOCK))
        boot_detail::fail_malformed();
      current = string::to_std_string(&pair[0]);
      Cell code = pair[1];
      evaluate(&code, current.c_str());
    }
  } catch (const Unwind& u) {
    std::string why = u.code == CODE_ERROR ? error::form(stack::top - 1) : "unwound";
    boot_detail::fail(current.c_str(), why);
  }
  stack::restore(saved);
}

}  // namespace tav::boot

namespace tav::runtime {

void run_boot_code() {
  collector::enabled = true;
  collecting_words = false;
  boot::run_sources();
}

}  // namespace tav::runtime

// Builds code blocks by hand and runs them on the real boot image, with a print hook that
// collects the printed text.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/native.h"
#include "datatypes/string.h"
#include "core/error_catalogue.h"
#include "evaluator/actions.h"
#include "core/errors.h"
#include "evaluator/calls.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "core/memory.h"
#include "core/output.h"
#include "scanner/lexer.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "test_runtime.h"
#include "core/types.h"
#include "core/words.h"

namespace tav::evaltest {

// The values of a text, as a block (held only by the caller afterwards).
inline Cell loaded(const std::string& text) {
  Cell* out = stack::new_cell();
  lexer::transcode(text, out);
  Cell b = *out;
  stack::pop(1);
  return b;
}

// Words bound to the global context, as loaded code has them.
inline Cell word_of(const char* name, TypeId kind) {
  Cell c = word::make(symbol::make(name));
  c.set_type(kind);
  return c;
}
inline Cell w(const char* name) { return word_of(name, TYPE_WORD); }
inline Cell sw(const char* name) { return word_of(name, TYPE_SET_WORD); }
inline Cell lw(const char* name) { return word_of(name, TYPE_LIT_WORD); }
inline Cell gw(const char* name) { return word_of(name, TYPE_GET_WORD); }
inline Cell ref(const char* name) { return word_of(name, TYPE_REFINEMENT); }
inline std::string name_of(uint32_t sym) {
  symbol::Name n = symbol::name(sym);
  return std::string(n.bytes, n.length);
}
inline Cell i(int32_t v) { Cell c; set_integer(&c, v); return c; }

inline Cell series_of(TypeId t, std::initializer_list<Cell> cells) {
  NodeId n = alloc::new_cells(static_cast<uint32_t>(cells.size() ? cells.size() : 1));
  SeriesBuffer* b = node_buffer(n);
  uint32_t k = 0;
  for (const Cell& c : cells) b->cells()[k++] = c;
  b->tail = b->head + k * sizeof(Cell);
  return make_cell(t, 0, n);
}
inline Cell blk(std::initializer_list<Cell> cells) { return series_of(TYPE_BLOCK, cells); }
// The path naming a callee with refinements: name/r1/r2...
inline Cell path_of(const char* name, std::initializer_list<const char*> refinements) {
  std::vector<Cell> parts{word_of(name, TYPE_WORD)};
  for (const char* r : refinements) parts.push_back(word_of(r, TYPE_WORD));
  NodeId n = alloc::new_cells(static_cast<uint32_t>(parts.size()));
  SeriesBuffer* b = node_buffer(n);
  for (size_t k = 0; k < parts.size(); ++k) b->cells()[k] = parts[k];
  b->tail = b->head + static_cast<uint32_t>(parts.size() * sizeof(Cell));
  return make_cell(TYPE_PATH, 0, n);
}
inline Cell paren(std::initializer_list<Cell> cells) { return series_of(TYPE_PAREN, cells); }
inline Cell path(std::initializer_list<Cell> cells) { return series_of(TYPE_PATH, cells); }
inline Cell set_path(std::initializer_list<Cell> cells) { return series_of(TYPE_SET_PATH, cells); }

inline void set_global(const char* name, const Cell& v) {
  Cell word = w(name);
  interp::set_word(&word, &v);
}

// What print and prin handed to the print hooks.
inline std::string& print_log() {
  static std::string log;
  return log;
}
inline void collect_print(const Cell* text, bool new_line) {
  print_log() += string::to_std_string(text);
  if (new_line) print_log() += '\n';
}

// The runtime with its boot image, and the print collector (other suites empty the hook
// lists, so it is registered again each time).
inline void install() {
  testing::ensure_runtime();
  dyn_print::remove(collect_print, nullptr);
  dyn_print::add(collect_print, nullptr);
}

struct Outcome {
  bool error = false;
  std::string text;   // the error as the console shows it
  std::string id;     // category/id of the error, as in "script/no-value"
  Cell error_value{};
  Cell value{};
  Status status = CODE_NONE;
};

// Evaluates a block under a try frame; the stacks are put back as found.
inline Outcome run(const Cell& block) {
  Outcome o;
  stack::State saved = stack::save();
  uint32_t depth_before = interp::depth();
  stack::mark_try(nullptr);
  try {
    o.status = interp::eval_block(&block, false);
    o.value = *(stack::top - 1);
  } catch (const Unwind&) {
    o.error = true;
    Cell err = *(stack::top - 1);
    o.error_value = err;
    error::form_for_console(
        &err, [](const char* b, size_t n, void* ctx) { static_cast<std::string*>(ctx)->append(b, n); },
        &o.text);
    int cat = error::code(&err) / 100;
    o.id = std::string(error_catalogue::category(cat).name) + "/" + error::id_name(&err);
  }
  stack::restore(saved);
  EXPECT_EQ(interp::depth(), depth_before);
  return o;
}

// The text of form (or mold) of a value, made under a frame of its own.
inline std::string text_of(const Cell& value, bool mold) {
  stack::mark_native(nullptr);
  set_unset(stack::new_cell());
  Cell* v = stack::push(&value);
  Cell* buf = stack::new_cell();
  *buf = make_cell(TYPE_STRING, 0, string::make(16));
  if (mold) actions::mold_direct(v, buf, false, false, false, nullptr, 0x7FFFFFFF, 0);
  else actions::form_direct(v, buf, nullptr, 0x7FFFFFFF);
  std::string text = string::to_std_string(buf);
  stack::unwind_discard();
  return text;
}
inline std::string molded(const Cell& value) { return text_of(value, true); }
inline std::string formed(const Cell& value) { return text_of(value, false); }

inline std::string printed(const Cell& block, Outcome* out = nullptr) {
  print_log().clear();
  Outcome o = run(block);
  std::string text = print_log();
  if (out) *out = o;
  EXPECT_FALSE(o.error) << o.text;
  return text;
}

}  // namespace tav::evaltest

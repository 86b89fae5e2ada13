#include "boot.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <strings.h>

#include "core/collector.h"
#include "datatypes/block.h"
#include "datatypes/map.h"
#include "datatypes/native.h"
#include "datatypes/object.h"
#include "datatypes/routine.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "evaluator/interpreter.h"
#include "core/memory.h"
#include "runtime.h"
#include "scanner/lexer.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/system_object.h"
#include "core/words.h"
#include "services/simple_io.h"

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

// Cells of the scanned text from which the code starts: a header (the word Tav and a block)
// is left out.
int32_t code_start(const Cell* scanned) {
  SeriesBuffer* buf = node_buffer(scanned->data2);
  if (buf->count() < 2) return 0;
  const Cell* first = buf->cells();
  if (!first[0].is(TYPE_WORD) || !first[1].is(TYPE_BLOCK)) return 0;
  symbol::Name n = symbol::name(first[0].data2);
  return n.length == 3 && strncasecmp(n.bytes, "tav", 3) == 0 ? 2 : 0;
}

}  // namespace boot_detail

std::string source_name(const std::string& path) {
  size_t at = path.rfind("/library/");
  if (at != std::string::npos) return path.substr(at + 9);
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool add_text_source(Cell* root, const char* path) {
  std::string text;
  if (!simple_io::read_whole(path, &text)) return false;
  Cell* scanned = set_none(stack::new_cell());
  lexer::transcode(text, scanned);
  int32_t from = boot_detail::code_start(scanned);
  int32_t count = static_cast<int32_t>(node_buffer(scanned->data2)->count()) - from;
  Cell* code = set_none(stack::new_cell());
  block::copy_cells(scanned, from, count, false, code);
  std::string name = source_name(path);
  Cell* file = string::load_new(reinterpret_cast<const uint8_t*>(name.data()), name.size(),
                                string::ENCODING_UTF8);
  file->set_type(TYPE_FILE);
  block::append_cell(root, file);
  block::append_cell(root, code);
  stack::top = scanned;
  return true;
}

void add_routine_specs(Cell* root, bool with_view) {
  uint32_t n = routine::count();
  Cell* specs = block::make_at(stack::new_cell(), static_cast<int32_t>(n * 2 + 1));
  size_t prefix = std::strlen(VIEW_ROUTINE_PREFIX);
  for (uint32_t i = 0; i < n; ++i) {
    const routine::Row& row = routine::row(i);
    if (!with_view && std::strncmp(row.name, VIEW_ROUTINE_PREFIX, prefix) == 0) continue;
    Cell* name;
    if (std::strchr(row.name, '/')) {
      // A path: the object fields the routine goes into.
      Cell* scanned = set_none(stack::new_cell());
      lexer::transcode(std::string(row.name) + ":", scanned);
      name = stack::push(block::cell_at(scanned, 0));
    } else {
      Cell word = word::make(symbol::make(row.name));
      name = stack::push(&word);
      name->set_type(TYPE_SET_WORD);
    }
    Cell* spec = set_none(stack::new_cell());
    lexer::transcode(row.spec, spec);
    block::append_cell(specs, name);
    block::append_cell(specs, spec);
    stack::top = specs + 1;
  }
  Cell marker_word = word::make(symbol::make(ROUTINES_MARKER));
  Cell* marker = stack::push(&marker_word);
  block::append_cell(root, marker);
  block::append_cell(root, specs);
  stack::top = specs;
}

const char* text_manifest = nullptr;

uint32_t load_text_sources() {
  std::string list;
  if (!simple_io::read_whole(text_manifest, &list))
    boot_detail::fail_with("*** Start-up failed: cannot read " + std::string(text_manifest));
  stack::State saved = stack::save();
  std::string current = text_manifest;
  stack::mark_try(nullptr);
  try {
    Cell* root = block::make_at(stack::new_cell(), 16);
    std::istringstream lines(list);
    std::string path;
    while (std::getline(lines, path)) {
      if (path.empty()) continue;
      if (path == ROUTINES_MARKER || path == VIEW_ROUTINES_MARKER) {
        add_routine_specs(root, path == VIEW_ROUTINES_MARKER);
        continue;
      }
      current = path;
      if (!add_text_source(root, path.c_str()))
        boot_detail::fail_with("*** Start-up failed: cannot read " + path);
    }
    uint32_t at = node_buffer(runtime::root_node)->count();
    *series::buffer_new_tail_cell(runtime::root_node) = *root;
    stack::restore(saved);
    return at;
  } catch (const Unwind& u) {
    std::string why = u.code == CODE_ERROR ? error::form(stack::top - 1) : "unwound";
    boot_detail::fail(current.c_str(), why);
  }
}

bool image_loaded = false;

const Cell* image() { return image_loaded ? runtime::root_cell(runtime::boot_root_index) : nullptr; }

void evaluate(const Cell* code, const char* name) {
  Cell block = *code;
  Status s = interp::eval_block(&block, false);
  if (s != CODE_NONE) boot_detail::fail(name, "break, return or throw at top level");
}

namespace boot_detail {

// A set-word's or set-path's name as the registry spells it ("system/state/GC/active?").
std::string spelling(const Cell* name) {
  auto word_text = [](const Cell* w) {
    symbol::Name sym = symbol::name(w->data2);
    return std::string(sym.bytes, sym.length);
  };
  if (!name->is(TYPE_SET_PATH)) return word_text(name);
  std::string text;
  for (int32_t k = 0; k < block::rs_length(name); ++k) {
    const Cell* el = block::cell_at(name, name->index() + k);
    if (!el->is(TYPE_WORD)) fail_malformed();
    text += (k ? "/" : "") + word_text(el);
  }
  return text;
}

// The registry row a spec was written for: the specs are in registry order, so a row is
// looked up by name only when the image and the registry disagree.
uint32_t row_for(const std::string& name, uint32_t position) {
  if (position < routine::count() && name == routine::row(position).name) return position;
  int32_t index = routine::find(name);
  if (index < 0) fail("the routines", "no routine " + name + " in this program");
  return static_cast<uint32_t>(index);
}

// Stores a routine into the object field a set-path names (system/state/GC/active?:). The
// path may pass through a map by key, as codecs sit in system/codecs under their names.
void set_field(const Cell* path, const Cell* value, const std::string& name) {
  uint32_t n = block::rs_length(path);
  Cell obj = *interp::get_word(block::cell_at(path, path->index()));
  for (uint32_t k = 1; k < n; ++k) {
    Cell field = *block::cell_at(path, path->index() + k);
    Cell* slot = nullptr;
    if (field.is(TYPE_WORD) && obj.is(TYPE_OBJECT) && object::word_index(&obj, &field) >= 0)
      slot = object::word_value_cell(&obj, &field);
    else if (field.is(TYPE_WORD) && obj.is(TYPE_MAP) && k + 1 < n)
      slot = map::find_value(&obj, &field, COMP_EQUAL);
    if (!slot) fail("the routines", "no object field for the routine " + name);
    if (k + 1 == n) {
      *slot = *value;
      return;
    }
    obj = *slot;
  }
}

// Binds the routines the image names, from their specs: with paths false those named by a
// word (to the global word), else those named by a path (to its object field).
void bind_routines(const Cell* specs, bool paths) {
  if (!specs->is(TYPE_BLOCK)) fail_malformed();
  uint32_t n = block::rs_length(specs);
  for (uint32_t i = 0; i + 1 < n; i += 2) {
    const Cell* pair = block::cell_at(specs, specs->index() + i);
    Cell name = pair[0];
    Cell spec = pair[1];
    if (!spec.is(TYPE_BLOCK) || !(name.is(TYPE_SET_WORD) || name.is(TYPE_SET_PATH)))
      fail_malformed();
    if (name.is(TYPE_SET_PATH) != paths) continue;
    std::string text = spelling(&name);
    Cell* value = routine::push(&spec, row_for(text, i / 2));
    if (paths) {
      set_field(&name, value, text);
    } else {
      name.set_type(TYPE_WORD);
      interp::set_word(&name, value);
    }
    stack::top = value;
  }
}

}  // namespace boot_detail

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
    // The routines' specs, once met: those that go into objects are bound at the end.
    Cell routines = make_cell(TYPE_NONE);
    int32_t n = block::rs_length(root);
    for (int32_t i = 0; i < n; i += 2) {
      // Read afresh each time: a collection during evaluation may move the block's buffer.
      const Cell* pair = block::cell_at(root, root->index() + i);
      if (pair[0].is(TYPE_WORD)) {
        current = "the routines";
        routines = pair[1];
        boot_detail::bind_routines(&routines, false);
        continue;
      }
      if (!pair[0].is(TYPE_FILE) || !pair[1].is(TYPE_BLOCK))
        boot_detail::fail_malformed();
      current = string::to_std_string(&pair[0]);
      Cell code = pair[1];
      evaluate(&code, current.c_str());
    }
    if (routines.is(TYPE_BLOCK)) {
      current = "the routines";
      boot_detail::bind_routines(&routines, true);
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
  system_object::fill_build_record();
}

}  // namespace tav::runtime

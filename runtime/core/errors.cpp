#include "core/errors.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/context.h"
#include "datatypes/object.h"
#include "core/error_catalogue.h"
#include "core/evaluator_door.h"
#include "core/hash_index.h"
#include "core/symbols.h"
#include "core/system_object.h"
#include "core/memory.h"
#include "core/number_text.h"
#include "core/stack.h"
#include "core/types.h"
#include "core/unicode.h"

namespace tav::error {

namespace errors_detail {

// Where an error's fields go when no block can be had: the memory manager is not up yet, or
// allocating the block itself raised (no memory left). One record is enough, since such an
// error is thrown before another can be made. Error cells that use it hold node 0.
Cell emergency_fields[ERROR_FIELD_COUNT];
bool creating = false;

// The stack-trace setting (system/state/stack-trace): a report shows its Stack line only
// while the setting is a positive integer, which is also how many kinds of call it names.
// Before the system object exists the setting is taken as 1.
int32_t stack_trace_setting() {
  const Cell* setting = system_object::field({"state", "stack-trace"});
  if (!setting) return 1;
  return setting->is(TYPE_INTEGER) ? setting->int_value() : 0;
}

// The level call names are collected with: the setting when it is a positive integer, else 1.
int32_t call_name_level() {
  int32_t level = stack_trace_setting();
  return level > 0 ? level : 1;
}

constexpr const char* field_names[ERROR_FIELD_COUNT] = {
    "code", "type", "id", "arg1", "arg2", "arg3", "near", "where", "stack", "files"};

Cell* fields_of(const Cell* err) {
  if (err->data1 == 0) return emergency_fields;
  return object::get_values(err);
}

// Words exist once the symbol table and the global context do; before that (and when
// making the context fails) an error keeps its fields in the emergency record.
bool words_ready() { return symbol::index_node != 0 && context::global != 0; }

// The error object's context: the ten fields, all none.
NodeId new_error_context() {
  Cell obj;
  object::make_at(&obj, ERROR_FIELD_COUNT);
  NodeId ctx = object::context_of(&obj);
  hash::HeldCell hold(obj);
  Cell none = make_cell(TYPE_NONE);
  for (const char* name : field_names) context::put(ctx, symbol::make(name), &none);
  return ctx;
}

// The word naming a category or an id (integers when words cannot be made yet).
Cell name_word(std::string_view name, int position) {
  if (!words_ready()) {
    Cell c;
    set_integer(&c, position);
    return c;
  }
  uint32_t sym = symbol::make(std::string(name).c_str());
  return make_cell(TYPE_WORD, 0, sym, uint32_t(-1));
}

void set_entry(Cell* err, int cat, int id) {
  Cell type = name_word(error_catalogue::category(cat).name, cat);
  Cell idw = name_word(error_catalogue::category(cat).ids[id].name, id);
  Cell* f = fields_of(err);
  set_integer(f + ERROR_CODE, error_catalogue::code_of(cat, id));
  f[ERROR_TYPE] = type;
  f[ERROR_ID] = idw;
}

// The category and id an error names (by word or, for early errors, by position); false
// when either is unknown.
bool entry_of(const Cell* f, int* cat_out, int* id_out) {
  int cat = -1, id = -1;
  if (f[ERROR_TYPE].is(TYPE_INTEGER)) cat = f[ERROR_TYPE].int_value();
  else if (f[ERROR_TYPE].is(TYPE_WORD)) cat = error_catalogue::category_index(symbol::get_c_string(f[ERROR_TYPE].data2));
  if (cat < 0 || cat >= error_catalogue::CATEGORY_COUNT) {
    *cat_out = -1;
    return false;
  }
  *cat_out = cat;
  if (f[ERROR_ID].is(TYPE_INTEGER)) id = f[ERROR_ID].int_value();
  else if (f[ERROR_ID].is(TYPE_WORD)) id = error_catalogue::id_index(cat, symbol::get_c_string(f[ERROR_ID].data2));
  if (id < 0 || id >= error_catalogue::category(cat).id_count) return false;
  *id_out = id;
  return true;
}

// Fills a fresh error for catalogue entry [cat id]; the arguments are copied into arg1-arg3.
void build(int cat, int id, const Cell* const args[3], Cell* out) {
  Cell saved[3];
  for (int i = 0; i < 3; i++) {
    if (args[i]) saved[i] = *args[i];
    else set_none(&saved[i]);
  }
  NodeId node = 0;
  if (node_table && words_ready() && !creating) {
    creating = true;
    // The arguments may be held only by the caller's C++ locals: while the context is being
    // allocated (which may collect), they sit on the argument stack.
    bool guarded = stack::begin && stack::end - stack::top >= 3;
    if (guarded)
      for (const Cell& c : saved) *stack::top++ = c;
    try {
      node = new_error_context();
    } catch (...) {
      creating = false;
      if (guarded) stack::top -= 3;
      throw;
    }
    if (guarded) stack::top -= 3;
    creating = false;
  }
  *out = make_cell(TYPE_ERROR, node, ERROR_CLASS_ID, 0);
  if (node) object::store_self(out);
  Cell* f = fields_of(out);
  if (node == 0)
    for (int i = 0; i < ERROR_FIELD_COUNT; i++) set_none(f + i);
  set_entry(out, cat, id);
  f = fields_of(out);
  for (int i = 0; i < 3; i++) f[ERROR_ARG1 + i] = saved[i];
  // The report shows the code from the expression the evaluator was at when the error arose.
  const Cell* position = evaluator_door::current_position();
  if (node != 0 && position && is_any_block(position->type())) f[ERROR_NEAR] = *position;
}

// A string! value holding the given UTF-8 text (invalid bytes become U+FFFD).
Cell make_string(std::string_view text) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text.data());
  const uint8_t* end = p + text.size();
  std::u32string cps;
  while (p < end) {
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, end, &cp);
    cps.push_back(cp < 0 ? unicode::REPLACEMENT_CHAR : static_cast<uint32_t>(cp));
  }
  unsigned unit = 1;
  for (char32_t cp : cps) unit = std::max(unit, unicode::unit_for(cp));
  NodeId n = alloc::new_series(static_cast<uint32_t>(cps.size() ? cps.size() : 1), unit, 0);
  SeriesBuffer* buf = node_buffer(n);
  for (size_t i = 0; i < cps.size(); i++) unicode::write_unit(buf->head_ptr(), i, unit, cps[i]);
  buf->tail = buf->head + static_cast<uint32_t>(cps.size() * unit);
  return make_cell(TYPE_STRING, 0, n);
}

// ---- Text of argument values --------------------------------------------------------------
// Values in a report are written by their datatype's own mold or form (see append_value). The
// small former below stands in where that cannot run: before the datatypes are registered,
// with no room left on the stacks, or when the datatype's former itself fails. It knows
// integer!, float!, none!, logic!, char!, string! kinds, datatype! and the block kinds and
// writes other values as their datatype's name. Output stops once `limit` characters are
// written, so a block that contains itself cannot loop.

struct TextOut {
  std::string& out;
  size_t chars = 0;
  size_t limit;
  bool full() const { return chars >= limit; }
  void put_cp(uint32_t cp) {
    if (full()) return;
    uint8_t b[4];
    int n = unicode::encode_utf8_char(cp, b);
    out.append(reinterpret_cast<char*>(b), static_cast<size_t>(n));
    chars++;
  }
  void put(std::string_view s) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(s.data());
    const uint8_t* end = p + s.size();
    while (p < end && !full()) {
      int32_t cp;
      p = unicode::fast_decode_utf8_char(p, end, &cp);
      put_cp(cp < 0 ? unicode::REPLACEMENT_CHAR : static_cast<uint32_t>(cp));
    }
  }
};

void put_type_name(TextOut& o, TypeId t) {
  const char* name = type_table[t].name;
  if (name) o.put(name);
  else o.put("???");
}

void put_string_chars(TextOut& o, const Cell* v, bool mold) {
  SeriesBuffer* buf = cell_buffer(v);
  unsigned unit = buf->unit();
  size_t count = buf->count();
  if (mold) o.put("\"");
  for (size_t i = v->index(); i < count && !o.full(); i++) {
    uint32_t cp = unicode::read_unit(buf->head_ptr(), i, unit);
    if (mold) {
      // The escapes a quoted string needs to read back the same.
      if (cp == '"') { o.put("^\""); continue; }
      if (cp == '^') { o.put("^^"); continue; }
      if (cp == '\n') { o.put("^/"); continue; }
      if (cp == '\t') { o.put("^-"); continue; }
    }
    o.put_cp(cp);
  }
  if (mold) o.put("\"");
}

void put_value(TextOut& o, const Cell* v, bool mold, bool outer_brackets);

void put_block(TextOut& o, const Cell* v, bool mold, bool outer_brackets) {
  TypeId t = v->type();
  const char* open = t == TYPE_PAREN ? "(" : t == TYPE_HASH ? "make hash! [" : "[";
  const char* close = t == TYPE_PAREN ? ")" : "]";
  bool brackets = outer_brackets && (t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH);
  if (brackets) o.put(open);
  if (mold && t == TYPE_GET_PATH) o.put(":");
  if (mold && t == TYPE_LIT_PATH) o.put("'");
  uint32_t count = cell_buffer(v)->count();
  for (uint32_t i = v->index(); i < count && !o.full(); i++) {
    if (i > v->index()) o.put(is_any_path(t) ? "/" : " ");
    // Re-derived at every step: nothing here allocates, but the block may be large.
    const Cell* item = cell_buffer(v)->cells() + i;
    put_value(o, item, mold, true);
  }
  if (brackets) o.put(close);
  if (mold && t == TYPE_SET_PATH) o.put(":");
}

void put_value(TextOut& o, const Cell* v, bool mold, bool outer_brackets) {
  TypeId t = v->type();
  switch (t) {
    case TYPE_INTEGER: o.put(integer::to_decimal(v->int_value()).view()); return;
    case TYPE_FLOAT: o.put(number::form_float(v->float_value(), 0, true).view()); return;
    case TYPE_NONE: o.put("none"); return;
    case TYPE_LOGIC: o.put(v->data1 ? "true" : "false"); return;
    case TYPE_UNSET: if (mold) o.put("unset"); return;
    case TYPE_DATATYPE: put_type_name(o, static_cast<TypeId>(v->data1)); return;
    case TYPE_CHAR:
      if (mold) o.put("#\"");
      o.put_cp(v->data2);
      if (mold) o.put("\"");
      return;
    default: break;
  }
  if (is_any_word(t) && symbol::index_node) {
    if (mold) {
      if (t == TYPE_LIT_WORD) o.put("'");
      else if (t == TYPE_GET_WORD) o.put(":");
      else if (t == TYPE_REFINEMENT) o.put("/");
      else if (t == TYPE_ISSUE) o.put("#");
    }
    if (v->data2 == 0 || v->data2 > symbol::count()) {
      o.put("???");   // a damaged word cell must not stop the report
      return;
    }
    symbol::Name name = symbol::name(v->data2);
    o.put(std::string_view(name.bytes, name.length));
    if (mold && t == TYPE_SET_WORD) o.put(":");
    return;
  }
  if (is_any_string(t) && v->node()) {
    if (mold && t == TYPE_FILE) o.put("%");
    put_string_chars(o, v, mold && t == TYPE_STRING);
    return;
  }
  if (is_any_block(t) && v->node()) {
    put_block(o, v, mold, outer_brackets);
    return;
  }
  put_type_name(o, t);
}

// The datatype's own mold (flat; without the outer brackets of a block when outer_brackets
// is false) or form of v, cut to `limit` characters. False, with nothing written, when it
// cannot run.
bool append_by_datatype(TextOut& o, const Cell* v, bool mold, bool outer_brackets) {
  ActionEntry e = action_entry(v->type(), mold ? ACT_MOLD : ACT_FORM);
  if (!e || !node_table || !stack::begin || stack::end - stack::top < 4 ||
      stack::frames_top >= stack::frames_end)
    return false;
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  // The value and the buffer sit on the argument stack while the former allocates.
  Cell* value = stack::top++;
  *value = *v;
  Cell* buffer = stack::top++;
  set_none(buffer);
  try {
    *buffer = make_cell(TYPE_STRING, 0, alloc::new_series(64, 1, 0));
    int limit = o.limit - o.chars > INT32_MAX ? INT32_MAX : static_cast<int>(o.limit - o.chars);
    Cell part;
    set_integer(&part, limit);
    if (mold)
      reinterpret_cast<act::Mold>(e)(value, buffer, !outer_brackets, false, true, &part, limit, 0);
    else
      reinterpret_cast<act::Form>(e)(value, buffer, &part, limit);
  } catch (const Unwind&) {
    stack::restore(saved);
    return false;
  }
  SeriesBuffer* buf = cell_buffer(buffer);
  unsigned unit = buf->unit();
  size_t count = buf->count();
  for (size_t i = 0; i < count && !o.full(); i++)
    o.put_cp(unicode::read_unit(buf->head_ptr(), i, unit));
  stack::restore(saved);
  return true;
}

void append_value(std::string& out, const Cell* v, bool mold, size_t limit,
                  bool outer_brackets = true) {
  TextOut o{out, 0, limit};
  Cell value = *v;   // v may point into a buffer that a collection moves
  if (append_by_datatype(o, &value, mold, outer_brackets)) return;
  put_value(o, &value, mold, outer_brackets);
}

// ---- The report -----------------------------------------------------------------------------

// A deep recursion leaves thousands of call names on the Stack line: past
// 2 * TRACE_ENDS + 1 names only the outermost and innermost TRACE_ENDS are kept, with "..."
// where the others were.
constexpr size_t TRACE_ENDS = 8;

void cut_trace(std::string& out, size_t from) {
  // Names are runs of non-blanks: a first pass counts them, a second finds where the
  // head's last one ends and the tail's first one begins.
  size_t count = 0, head_end = 0, tail_start = 0;
  for (int pass = 0; pass < 2; pass++) {
    size_t k = 0;
    for (size_t i = from; i < out.size(); i++) {
      if (out[i] == ' ' || (i > from && out[i - 1] != ' ')) continue;
      if (pass == 1 && k == TRACE_ENDS) head_end = i;
      if (pass == 1 && k == count - TRACE_ENDS) tail_start = i;
      k++;
    }
    count = k;
    if (count <= 2 * TRACE_ENDS + 1) return;
  }
  out.replace(head_end, tail_start - head_end, "... ");
}

void switch_to_invalid_error(const Cell* err, const Cell& culprit) {
  Cell saved = culprit;
  int internal = ERR_INTERNAL;
  set_entry(const_cast<Cell*>(err), internal, error_catalogue::id_index(internal, "invalid-error"));
  fields_of(err)[ERROR_ARG1] = saved;
}

void append_message(std::string& out, const Cell* err, int cat, const error_catalogue::Id& entry) {
  Cell* f = fields_of(err);
  using error_catalogue::MessageKind;
  using error_catalogue::PieceKind;
  if (entry.kind == MessageKind::STRING) {
    out += entry.pieces[0].text;
    return;
  }
  if (entry.kind == MessageKind::FIELD) {
    int fi = error_catalogue::field_index(entry.pieces[0].text);
    Cell message = fi < 0 ? make_cell(TYPE_NONE) : f[fi];
    if (message.is(TYPE_STRING) && message.node()) append_value(out, &message, false, SIZE_MAX);
    else switch_to_invalid_error(err, f[ERROR_ID]);
    return;
  }
  bool form_args = cat == ERR_SYNTAX;
  for (int i = 0; i < entry.piece_count; i++) {
    if (i > 0) out += ' ';
    const error_catalogue::Piece& p = entry.pieces[i];
    if (p.kind == PieceKind::TEXT) {
      out += p.text;
    } else {
      int fi = error_catalogue::field_index(p.text);
      // Re-derived for every piece: forming a value may collect and move the fields.
      Cell value = fi < 0 ? make_cell(TYPE_NONE) : fields_of(err)[fi];
      append_value(out, &value, !form_args, 80);
    }
  }
}

}  // namespace errors_detail

void create(ErrorCategory cat, const char* id, const Cell* arg1, const Cell* arg2,
            const Cell* arg3, Cell* out) {
  int idx = error_catalogue::id_index(cat, id ? id : "");
  if (idx < 0) {
    // A raise with an id its category lacks is our own fault: report it by name.
    Cell name = errors_detail::make_string(id ? id : "");
    const Cell* args[3] = {&name, nullptr, nullptr};
    errors_detail::build(ERR_INTERNAL, error_catalogue::id_index(ERR_INTERNAL, "invalid-error"),
                         args, out);
    return;
  }
  const Cell* args[3] = {arg1, arg2, arg3};
  errors_detail::build(cat, idx, args, out);
}

[[noreturn]] void raise(ErrorCategory cat, const char* id, const Cell* arg1, const Cell* arg2,
                        const Cell* arg3) {
  Cell err;
  create(cat, id, arg1, arg2, arg3, &err);
  evaluator_door::error_raised(&err);
  stack::throw_error(&err);
}

void make_from_code(int32_t code, Cell* out) {
  int cat, id;
  if (!error_catalogue::split_code(code, &cat, &id)) {
    Cell c;
    set_integer(&c, code);
    raise(ERR_SCRIPT, "out-of-range", &c);
  }
  const Cell* args[3] = {nullptr, nullptr, nullptr};
  errors_detail::build(cat, id, args, out);
}

void make_from_text(std::string_view text, Cell* out) {
  Cell s = errors_detail::make_string(text);
  create(ERR_USER, "message", &s, nullptr, nullptr, out);
}

Cell* field(const Cell* err, ErrorField f) { return errors_detail::fields_of(err) + f; }

int32_t code(const Cell* err) { return field(err, ERROR_CODE)->int_value(); }

std::string id_name(const Cell* err) {
  const Cell* f = errors_detail::fields_of(err);
  int cat, id;
  if (!errors_detail::entry_of(f, &cat, &id)) return "";
  return std::string(error_catalogue::category(cat).ids[id].name);
}

void set_where(const Cell* err, const Cell* value) {
  Cell* w = field(err, ERROR_WHERE);
  if (w->is(TYPE_NONE)) *w = *value;
}

std::string form(const Cell* given) {
  using errors_detail::append_value;
  // Forming the values may collect and move buffers: the error is read through a copy, held
  // on the argument stack (when there is room) so that its context stays referenced.
  Cell copy = *given;
  const Cell* err = &copy;
  struct Hold {
    Cell* slot = nullptr;
    ~Hold() {
      if (slot) stack::top = slot;
    }
  } hold;
  if (stack::begin && stack::top < stack::end) {
    hold.slot = stack::top;
    *stack::top++ = copy;
    err = hold.slot;
  }
  std::string out = "*** ";
  int cat = -1, id = -1;
  if (!errors_detail::entry_of(errors_detail::fields_of(err), &cat, &id)) {
    const Cell* f = errors_detail::fields_of(err);
    errors_detail::switch_to_invalid_error(err, cat < 0 ? f[ERROR_TYPE] : f[ERROR_ID]);
    cat = ERR_INTERNAL;
    id = error_catalogue::id_index(ERR_INTERNAL, "invalid-error");
  }
  const error_catalogue::Category& category = error_catalogue::category(cat);
  out += category.title;
  out += ": ";
  errors_detail::append_message(out, err, cat, category.ids[id]);
  Cell* f = errors_detail::fields_of(err);

  out += "\n*** Where: ";
  const Cell& where = f[ERROR_WHERE];
  if (is_any_word(where.type()) || is_any_string(where.type()))
    append_value(out, &where, false, SIZE_MAX);
  else
    out += "???";
  f = errors_detail::fields_of(err);
  out += "\n*** Near : ";
  append_value(out, &f[ERROR_NEAR], true, 40, false);
  f = errors_detail::fields_of(err);
  int32_t trace_level = errors_detail::stack_trace_setting();
  f = errors_detail::fields_of(err);
  if (trace_level > 0) {
    if (f[ERROR_STACK].is(TYPE_INTEGER)) {
      out += "\n*** Stack: ";
      size_t from = out.size();
      int32_t end = f[ERROR_STACK].int_value();
      stack::form_trace(trace_level, end > 0 ? uint32_t(end) : 0, out);
      errors_detail::cut_trace(out, from);
      f = errors_detail::fields_of(err);
    } else if (f[ERROR_STACK].is(TYPE_BLOCK)) {
      out += "\n*** Stack: ";
      size_t from = out.size();
      append_value(out, &f[ERROR_STACK], false, SIZE_MAX, false);
      errors_detail::cut_trace(out, from);
      f = errors_detail::fields_of(err);
    }
  }
  if (f[ERROR_FILES].is(TYPE_BLOCK)) {
    out += "\n*** Files: ";
    append_value(out, &f[ERROR_FILES], true, 40, false);
  }
  return out;
}

void set_stack_trace(const Cell* err) {
  Cell* f = field(err, ERROR_STACK);
  if (!f->is(TYPE_INTEGER)) return;
  int32_t end = f->int_value();
  NodeId names = alloc::new_cells(8);
  stack::collect_call_names(errors_detail::call_name_level(), names, end > 0 ? uint32_t(end) : 0);
  *field(err, ERROR_STACK) = make_cell(TYPE_BLOCK, 0, names);
}

void form_for_console(const Cell* err, void (*sink)(const char*, size_t, void*), void* ctx) {
  std::string text = form(err);
  sink(text.data(), text.size(), ctx);
}

}  // namespace tav::error

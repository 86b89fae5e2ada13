#include "datatypes/error.h"

#include <string>

#include "core/context.h"
#include "datatypes/block.h"
#include "datatypes/object.h"
#include "core/error_catalogue.h"
#include "core/errors.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"

namespace tav::error_type {

namespace error_type_detail {

Cell word_named(const char* name) {
  return make_cell(TYPE_WORD, 0, symbol::make(name), uint32_t(-1));
}

[[noreturn]] void bad_field(const char* field) {
  Cell w = word_named(field);
  error::raise(ERR_SCRIPT, "invalid-spec-field", &w);
}

int category_of(const Cell* w) {
  return w->is(TYPE_WORD) ? error_catalogue::category_index(symbol::get_c_string(w->data2)) : -1;
}

int id_of(int cat, const Cell* w) {
  return w->is(TYPE_WORD) ? error_catalogue::id_index(cat, symbol::get_c_string(w->data2)) : -1;
}

// A fresh error of the entry; its fields come from make_from_code.
void fresh(int cat, int id, Cell* out) { error::make_from_code(error_catalogue::code_of(cat, id), out); }

}  // namespace error_type_detail

Cell* make(Cell* proto, Cell* spec_in, int) {
  using namespace error_type_detail;
  Cell* spec = stack::push(spec_in);
  Cell* result = stack::new_cell();
  if (spec->is(TYPE_INTEGER)) {
    error::make_from_code(spec->int_value(), result);
  } else if (spec->is(TYPE_STRING)) {
    error::create(ERR_USER, "message", spec, nullptr, nullptr, result);
  } else if (spec->is(TYPE_BLOCK)) {
    int32_t len = block::rs_length(spec);
    Cell first = len > 0 ? *block::rs_head(spec) : make_cell(TYPE_NONE);
    if (first.is(TYPE_WORD)) {
      int cat = category_of(&first);
      if (cat < 0) bad_field("type");
      if (len < 2) bad_field("id");
      Cell second = *(block::rs_head(spec) + 1);
      if (!second.is(TYPE_WORD)) error::raise(ERR_SCRIPT, "invalid-arg", &second);
      int id = id_of(cat, &second);
      if (id < 0) bad_field("id");
      fresh(cat, id, result);
    } else if (first.is(TYPE_SET_WORD)) {
      // Start from a neutral entry; the block then names the real one.
      fresh(ERR_USER, 0, result);
      Cell* f = error::field(result, ERROR_ARG1);
      set_none(f);
      NodeId ctx = object::context_of(result);
      context::bind_block(spec, ctx, true);
      if (!object::evaluator) error::raise(ERR_INTERNAL, "feature-na");
      object::evaluator(spec);
      Cell type = *error::field(result, ERROR_TYPE);
      int cat = category_of(&type);
      if (cat < 0) bad_field("type");
      Cell idw = *error::field(result, ERROR_ID);
      int id = id_of(cat, &idw);
      if (id < 0) bad_field("id");
      set_integer(error::field(result, ERROR_CODE), error_catalogue::code_of(cat, id));
    } else {
      error::raise(ERR_INTERNAL, "invalid-error");
    }
  } else {
    Cell dt;
    set_datatype(&dt, TYPE_ERROR);
    error::raise(ERR_SCRIPT, "bad-make-arg", &dt, spec);
  }
  *proto = *result;
  stack::pop(2);
  return proto;
}

int form(Cell* value, Cell* buffer, Cell*, int limit) {
  std::string text = error::form(value);
  string::append_utf8(buffer->node(), reinterpret_cast<const uint8_t*>(text.data()), text.size());
  uint32_t chars = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) chars++;
  return limit - static_cast<int>(chars);
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent) {
  return object::mold_made("make error! [", value, buffer, only, all, flat, part, limit, indent);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt) {
  return object::eval_path(parent, element, value, path, grand_parent, prev_element, index,
                           case_, get, tail, evt);
}

int compare(Cell* value1, Cell* value2, int op) {
  if (!value2->is(TYPE_ERROR)) return COMPARE_UNRELATED;
  return object::compare(value1, value2, op);
}

void init() {
  datatype::register_type(TYPE_ERROR, TYPE_OBJECT, "error!", {
      on<ACT_MAKE>(&error_type::make),
      on<ACT_FORM>(&error_type::form),
      on<ACT_MOLD>(&error_type::mold),
      on<ACT_EVAL_PATH>(&error_type::eval_path),
      on<ACT_COMPARE>(&error_type::compare),
      inherit(ACT_REFLECT), inherit(ACT_COPY), inherit(ACT_SELECT),
  });
}

}  // namespace tav::error_type

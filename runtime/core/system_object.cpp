#include "core/system_object.h"

#include "core/context.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav::system_object {

Cell* field(std::initializer_list<const char*> names) {
  if (context::global == 0) return nullptr;
  int32_t pos = context::find_symbol(context::global, symbols::system_, true);
  if (pos < 0) return nullptr;
  Cell* value = context::slot_value_cell(context::global, static_cast<uint32_t>(pos));
  for (const char* name : names) {
    if (!value->is(TYPE_OBJECT)) return nullptr;
    NodeId ctx = value->data1;
    pos = context::find_symbol(ctx, symbol::make(name), true);
    if (pos < 0) return nullptr;
    value = context::slot_value_cell(ctx, static_cast<uint32_t>(pos));
  }
  return value;
}

}  // namespace tav::system_object

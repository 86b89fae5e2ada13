#include "datatypes/event.h"

#include <array>

#include "core/errors.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "core/evaluator_door.h"

namespace tav::event {

Hooks hooks;

namespace event_detail {

constexpr uint32_t RING_SIZE = 64;
std::array<Record, RING_SIZE> ring;
uint32_t next_slot = 0;
uint32_t generation = 1;

constexpr const char* TYPE_NAMES[TYPE_COUNT] = {
    "down", "up", "mid-down", "mid-up", "alt-down", "alt-up", "aux-down", "aux-up", "click",
    "dbl-click", "wheel", "over", "key", "key-down", "key-up", "ime", "focus", "unfocus",
    "enter", "zoom", "pan", "rotate", "two-tap", "press-tap", "select", "change", "menu",
    "close", "move", "resize", "moving", "resizing", "time", "drawing", "scroll", "minimize",
    "maximize", "restore"};

struct Named {
  const char* name;
  uint32_t bit;
};
// In the order a flags block lists them.
constexpr Named FLAG_WORDS[] = {
    {"away", EVT_AWAY},          {"down", EVT_DOWN},       {"mid-down", EVT_MID_DOWN},
    {"alt-down", EVT_ALT_DOWN},  {"aux-down", EVT_AUX_DOWN}, {"control", EVT_CONTROL},
    {"shift", EVT_SHIFT},        {"alt", EVT_ALT},         {"command", EVT_COMMAND}};

constexpr Named FACE_FLAG_WORDS[] = {
    {"all-over", 0x00000001},   {"focusable", 0x00000002}, {"tri-state", 0x00020000},
    {"scrollable", 0x00040000}, {"password", 0x00080000},  {"no-sync", 0x00100000},
    {"fullscreen", 0x00200000}, {"popup", 0x01000000},     {"modal", 0x02000000},
    {"resize", 0x04000000},     {"no-buttons", 0x08000000}, {"no-max", 0x10000000},
    {"no-min", 0x20000000},     {"no-title", 0x40000000},  {"no-border", 0x80000000}};

struct KeyName {
  int32_t code;
  const char* name;
};
constexpr KeyName KEY_WORDS[] = {
    {0x21, "page-up"},      {0x22, "page-down"},     {0x23, "end"},
    {0x24, "home"},         {0x25, "left"},          {0x26, "up"},
    {0x27, "right"},        {0x28, "down"},          {0x2D, "insert"},
    {0x2E, "delete"},       {0x70, "F1"},            {0x71, "F2"},
    {0x72, "F3"},           {0x73, "F4"},            {0x74, "F5"},
    {0x75, "F6"},           {0x76, "F7"},            {0x77, "F8"},
    {0x78, "F9"},           {0x79, "F10"},           {0x7A, "F11"},
    {0x7B, "F12"},          {0xA0, "left-shift"},    {0xA1, "right-shift"},
    {0xA2, "left-control"}, {0xA3, "right-control"}, {0x14, "caps-lock"},
    {0x90, "num-lock"},     {0xA4, "left-alt"},      {0xA5, "right-alt"},
    {0x5B, "left-command"}, {0x5C, "right-command"}, {0x91, "scroll-lock"},
    {0x13, "pause"}};

constexpr const char* FIELD_NAMES[15] = {
    "type", "face", "window", "offset", "key", "picked", "flags", "away?", "down?",
    "mid-down?", "alt-down?", "aux-down?", "ctrl?", "shift?", "orientation"};

constexpr const char* SCROLL_VERTICAL[] = {"up", "down", "page-up", "page-down", "end", "track"};
constexpr const char* SCROLL_HORIZONTAL[] = {"left", "right", "page-left", "page-right", "end",
                                             "track"};

uint32_t type_symbols[TYPE_COUNT];
uint32_t flag_symbols[std::size(FLAG_WORDS)];
uint32_t face_flag_symbols[std::size(FACE_FLAG_WORDS)];
uint32_t key_symbols[std::size(KEY_WORDS)];
uint32_t field_symbols[15];
uint32_t wheel_symbol, vertical_symbol, horizontal_symbol;

uint32_t canon(const char* name) { return symbol::alias(symbol::make(name)); }

// The words are interned on first use: the datatypes register before the symbol table has
// its index.
bool symbols_ready = false;
void need_symbols() {
  if (symbols_ready) return;
  symbols_ready = true;
  for (uint32_t i = 0; i < TYPE_COUNT; ++i) type_symbols[i] = canon(TYPE_NAMES[i]);
  for (size_t i = 0; i < std::size(FLAG_WORDS); ++i) flag_symbols[i] = canon(FLAG_WORDS[i].name);
  for (size_t i = 0; i < std::size(FACE_FLAG_WORDS); ++i)
    face_flag_symbols[i] = canon(FACE_FLAG_WORDS[i].name);
  for (size_t i = 0; i < std::size(KEY_WORDS); ++i) key_symbols[i] = canon(KEY_WORDS[i].name);
  for (int i = 0; i < 15; ++i) field_symbols[i] = canon(FIELD_NAMES[i]);
  wheel_symbol = canon("wheel");
  vertical_symbol = canon("vertical");
  horizontal_symbol = canon("horizontal");
}

uint32_t scroll_symbol(const Record* r) {
  int i = r->scroll_request <= 3 ? r->scroll_request : r->scroll_request == 5 ? 5 : 4;
  return canon(r->vertical ? SCROLL_VERTICAL[i] : SCROLL_HORIZONTAL[i]);
}

Cell* word_into(Cell* out, uint32_t sym) { return word::make_at(sym, set_none(out)); }

// The index 1-15 of a field word, 0 for another word.
int field_of_symbol(uint32_t sym) {
  event_detail::need_symbols();
  uint32_t a = symbol::alias(sym);
  for (int i = 0; i < 15; ++i)
    if (field_symbols[i] == a) return i + 1;
  return 0;
}

const Cell* made_cells(const Cell* e) {
  if (e->data2 == 0) return nullptr;
  return node_buffer(e->data2)->cells();
}

void flags_block(uint32_t flags, Cell* out) {
  Cell* blk = block::push_only(static_cast<int32_t>(std::size(FLAG_WORDS)));
  for (size_t i = 0; i < std::size(FLAG_WORDS); ++i) {
    if (!(flags & FLAG_WORDS[i].bit)) continue;
    Cell w = word::make(flag_symbols[i]);
    block::append_cell(blk, &w);
  }
  *out = *blk;
  stack::pop(1);
}

void read_key(const Cell* e, const Record* r, Cell* out) {
  uint32_t type = e->data1;
  uint32_t ch = e->data3 & KEY_MASK;
  if (e->header & FLAG_MADE) {
    if (ch == 0) set_none(out);
    else set_char(out, ch);
    return;
  }
  if (type == WHEEL) {
    word_into(out, wheel_symbol);
  } else if (type == SCROLL) {
    if (r) word_into(out, scroll_symbol(r));
    else set_none(out);
  } else if (type == KEY || type == KEY_DOWN || type == KEY_UP) {
    int32_t special = r ? r->special_key : SK_NONE;
    uint32_t sym = special == SK_NONE ? 0 : special_key_symbol(special);
    if (sym) word_into(out, sym);
    else if (special != SK_NONE && type == KEY) set_none(out);
    else set_char(out, ch);
  } else {
    set_none(out);
  }
}

void read_picked(const Cell* e, const Record* r, Cell* out) {
  if (e->header & FLAG_MADE) {
    const Cell* cells = made_cells(e);
    if (cells) *out = cells[3];
    else set_integer(out, 0);
    return;
  }
  Picked kind = r ? r->picked : Picked::from_flags;
  switch (kind) {
    case Picked::none: set_none(out); break;
    case Picked::integer: set_integer(out, r->picked_int); break;
    case Picked::number: set_float(out, r->picked_number); break;
    case Picked::percent: set_float(out, r->picked_number, TYPE_PERCENT); break;
    case Picked::word: word_into(out, static_cast<uint32_t>(r->picked_int)); break;
    case Picked::from_flags: set_integer(out, static_cast<int32_t>(e->data3 & KEY_MASK)); break;
  }
}

void read_offset(const Cell* e, const Record* r, Cell* out) {
  if (e->header & FLAG_MADE) {
    const Cell* cells = made_cells(e);
    if (cells) *out = cells[2];
    else pair::make_at(set_none(out), 0, 0);
    return;
  }
  if (!r || !r->has_offset) {
    set_none(out);
  } else if (r->offset_pair) {
    pair::make_at(set_none(out), static_cast<int32_t>(r->x), static_cast<int32_t>(r->y));
  } else {
    point2D::make_at(set_none(out), r->x, r->y);
  }
}

void read_face(const Cell* e, const Record* r, bool top_level, Cell* out) {
  set_none(out);
  if (e->header & FLAG_MADE) {
    if (const Cell* cells = made_cells(e)) *out = cells[top_level ? 1 : 0];
    return;
  }
  if (!r || r->window == 0) return;
  auto hook = top_level ? hooks.window_face_of : hooks.face_of;
  if (!hook || !hook(r->window, out)) set_none(out);
}

// A spec value that is a word or get-word bound to a context stands for its value.
Cell spec_value(const Cell* v) {
  if ((v->is(TYPE_WORD) || v->is(TYPE_GET_WORD)) && v->data1 != 0) {
    if (const Cell* value = evaluator_door::word_value_cell(v)) return *value;
  }
  return *v;
}

uint32_t code_of_type_value(const Cell* v) {
  uint32_t code = type_code(v->data2);
  if (code == 0) error::raise(ERR_SCRIPT, "not-event-type", v);
  return code;
}

Cell* event_make(Cell* proto, Cell* spec, int) {
  Cell e = make_cell(TYPE_EVENT);
  e.header |= FLAG_MADE;
  Cell fields[4] = {make_cell(TYPE_NONE), make_cell(TYPE_NONE), make_cell(TYPE_PAIR),
                    make_cell(TYPE_INTEGER)};
  bool any_field = false;
  if (spec->is(TYPE_BLOCK)) {
    SeriesBuffer* b = node_buffer(spec->node());
    for (uint32_t i = spec->index(); i + 1 < b->count(); ++i) {
      Cell name = node_buffer(spec->node())->cells()[i];
      if (!name.is(TYPE_SET_WORD)) continue;
      Cell raw = node_buffer(spec->node())->cells()[++i];
      Cell v = spec_value(&raw);
      switch (field_of_symbol(name.data2)) {
        case 1:
          if (v.is(TYPE_WORD) || v.is(TYPE_LIT_WORD)) e.data1 = code_of_type_value(&v);
          break;
        case 5:
          if (v.is(TYPE_CHAR)) e.data3 |= v.data2 & KEY_MASK;
          break;
        case 7:
          if (v.is(TYPE_BLOCK)) {
            SeriesBuffer* fb = node_buffer(v.node());
            for (uint32_t k = v.index(); k < fb->count(); ++k) {
              const Cell* w = fb->cells() + k;
              uint32_t bit = word::is_any_word(w->type()) ? flag_bit(w->data2) : 0;
              if (bit == 0) error::raise(ERR_SCRIPT, "invalid-arg", w);
              e.data3 |= bit;
            }
          }
          break;
        case 2: case 3:
          if (v.is(TYPE_OBJECT)) {
            fields[field_of_symbol(name.data2) - 2] = v;
            any_field = true;
          }
          break;
        case 4:
          if (v.is(TYPE_PAIR) || v.is(TYPE_POINT2D)) {
            fields[2] = v;
            fields[2].header &= ~FLAG_NEW_LINE;
            any_field = true;
          }
          break;
        case 6:
          if (v.is(TYPE_INTEGER)) {
            fields[3] = v;
            fields[3].header &= ~FLAG_NEW_LINE;
            any_field = true;
          }
          break;
        default:
          break;
      }
    }
  }
  if (any_field) {
    NodeId n = alloc::new_cells(4);
    SeriesBuffer* fb = node_buffer(n);
    fb->tail = fb->head + 4 * sizeof(Cell);
    for (int k = 0; k < 4; ++k) fb->cells()[k] = fields[k];
    e.data2 = n;
  }
  *proto = e;
  return proto;
}

int event_form(Cell*, Cell* buffer, Cell*, int limit) {
  string::append_ascii(buffer->node(), "event");
  return limit - 5;
}

int event_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int limit, int) {
  return event_form(value, buffer, part, limit);
}

int event_compare(Cell*, Cell* b, int op) {
  if (!b->is(TYPE_EVENT)) return COMPARE_UNRELATED;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
    case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND_EQUAL:
      return 0;
    default:
      return COMPARE_UNRELATED;
  }
}

Cell* event_eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int,
                      bool, bool, bool, bool) {
  Cell* where = path ? path : parent;
  int field = element->is(TYPE_WORD) ? field_of_symbol(element->data2) : 0;
  if (field == 0) error::raise(ERR_SCRIPT, "invalid-path", where, element);
  if (value) {
    if (field != 1 || !value->is(TYPE_WORD)) error::raise(ERR_SCRIPT, "bad-path-set", where, element);
    parent->data1 = code_of_type_value(value);
    return parent;
  }
  Cell* out = set_none(stack::new_cell());
  read_field(parent, field, out);
  return out;
}

Cell* event_pick(Cell* value, int index, Cell* boxed) {
  int field = index;
  if (boxed && word::is_any_word(boxed->type())) {
    field = field_of_symbol(boxed->data2);
    if (field == 0) error::raise(ERR_SCRIPT, "cannot-use", boxed, value);
  } else if (index < 1 || index > 15) {
    Cell i;
    set_integer(&i, index);
    error::raise(ERR_SCRIPT, "out-of-range", boxed ? boxed : &i);
  }
  Cell* out = set_none(stack::new_cell());
  read_field(value, field, out);
  return out;
}

}  // namespace event_detail

Record* new_record(uint32_t* message_word) {
  using namespace event_detail;
  uint32_t slot = next_slot;
  next_slot = (next_slot + 1) % RING_SIZE;
  if (slot == 0) generation = (generation + 1) & 0x3FFFFFF;
  if (generation == 0) generation = 1;
  Record* r = &ring[slot];
  *r = Record{};
  r->generation = generation;
  *message_word = (generation << 6) | slot;
  return r;
}

const Record* record_of(const Cell* e) {
  using namespace event_detail;
  if (e->header & FLAG_MADE) return nullptr;
  uint32_t word = e->data2;
  const Record* r = &ring[word & (RING_SIZE - 1)];
  return word != 0 && r->generation == (word >> 6) ? r : nullptr;
}

Cell* make_backend_at(Cell* c, uint32_t type, uint32_t message_word, uint32_t flags) {
  return store_cell(c, TYPE_EVENT, type, message_word, flags);
}

uint32_t type_symbol(uint32_t code) {
  event_detail::need_symbols();
  return code >= 1 && code <= TYPE_COUNT ? event_detail::type_symbols[code - 1] : 0;
}

uint32_t type_code(uint32_t sym) {
  event_detail::need_symbols();
  uint32_t a = symbol::alias(sym);
  for (uint32_t i = 0; i < TYPE_COUNT; ++i)
    if (event_detail::type_symbols[i] == a) return i + 1;
  return 0;
}

uint32_t flag_bit(uint32_t sym) {
  using namespace event_detail;
  event_detail::need_symbols();
  uint32_t a = symbol::alias(sym);
  for (size_t i = 0; i < std::size(FLAG_WORDS); ++i)
    if (flag_symbols[i] == a) return FLAG_WORDS[i].bit;
  return 0;
}

uint32_t special_key_symbol(int32_t code) {
  using namespace event_detail;
  event_detail::need_symbols();
  for (size_t i = 0; i < std::size(KEY_WORDS); ++i)
    if (KEY_WORDS[i].code == code) return key_symbols[i];
  return 0;
}

uint32_t face_flags(const Cell* facet) {
  using namespace event_detail;
  event_detail::need_symbols();
  auto bit_of = [](const Cell* w) -> uint32_t {
    uint32_t a = symbol::alias(w->data2);
    for (size_t i = 0; i < std::size(FACE_FLAG_WORDS); ++i)
      if (face_flag_symbols[i] == a) return FACE_FLAG_WORDS[i].bit;
    error::raise(ERR_SCRIPT, "invalid-arg", w);
  };
  if (facet->is(TYPE_WORD)) return bit_of(facet);
  if (!facet->is(TYPE_BLOCK)) return 0;
  uint32_t mask = 0;
  SeriesBuffer* b = node_buffer(facet->node());
  for (uint32_t i = facet->index(); i < b->count(); ++i) {
    Cell w = node_buffer(facet->node())->cells()[i];
    if (w.is(TYPE_WORD) || w.is(TYPE_LIT_WORD)) mask |= bit_of(&w);
  }
  return mask;
}

bool find_flag(const Cell* facet, const Cell* word) {
  uint32_t a = symbol::alias(word->data2);
  if (facet->is(TYPE_WORD)) return symbol::alias(facet->data2) == a;
  if (!facet->is(TYPE_BLOCK)) return false;
  SeriesBuffer* b = node_buffer(facet->node());
  for (uint32_t i = facet->index(); i < b->count(); ++i) {
    const Cell* w = b->cells() + i;
    if ((w->is(TYPE_WORD) || w->is(TYPE_LIT_WORD)) && symbol::alias(w->data2) == a) return true;
  }
  return false;
}

void read_field(const Cell* e, int field, Cell* out) {
  using namespace event_detail;
  event_detail::need_symbols();
  const Record* r = record_of(e);
  uint32_t flags = e->data3;
  switch (field) {
    case 1: {
      uint32_t sym = type_symbol(e->data1);
      if (sym) word_into(out, sym);
      else set_none(out);
      break;
    }
    case 2: read_face(e, r, false, out); break;
    case 3: read_face(e, r, true, out); break;
    case 4: read_offset(e, r, out); break;
    case 5: read_key(e, r, out); break;
    case 6: read_picked(e, r, out); break;
    case 7: flags_block(flags, out); break;
    case 8: set_logic(out, flags & EVT_AWAY); break;
    case 9: set_logic(out, flags & EVT_DOWN); break;
    case 10: set_logic(out, flags & EVT_MID_DOWN); break;
    case 11: set_logic(out, flags & EVT_ALT_DOWN); break;
    case 12: set_logic(out, flags & EVT_AUX_DOWN); break;
    case 13: set_logic(out, flags & EVT_CONTROL); break;
    case 14: set_logic(out, flags & EVT_SHIFT); break;
    case 15:
      if (!(e->header & FLAG_MADE) && e->data1 == SCROLL && r)
        word_into(out, r->vertical ? vertical_symbol : horizontal_symbol);
      else set_none(out);
      break;
    default: set_none(out); break;
  }
}

void init() {
  using namespace event_detail;
  ActionRow row{};
  row[ACT_MAKE - 1] = entry<act::Make>(event_make);
  row[ACT_FORM - 1] = entry<act::Form>(event_form);
  row[ACT_MOLD - 1] = entry<act::Mold>(event_mold);
  row[ACT_COMPARE - 1] = entry<act::Compare>(event_compare);
  row[ACT_EVAL_PATH - 1] = entry<act::EvalPath>(event_eval_path);
  row[ACT_PICK - 1] = entry<act::Pick>(event_pick);
  datatype::register_type(TYPE_EVENT, TYPE_NONE_ID, "event!", row);
}

}  // namespace tav::event

#include "datatypes/image.h"

#include <algorithm>
#include <cstring>
#include <strings.h>

#include "core/errors.h"
#include "core/ownership.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/types.h"
#include "datatypes/binary.h"
#include "datatypes/integer.h"
#include "datatypes/pair.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "datatypes/type_dispatch.h"
#include "init_steps.h"
#include "services/view_hooks.h"

namespace tav::image {

using image_store::Record;

namespace image_detail {

Record* record_of(const Cell* img) {
  Record* r = image_store::record(img);
  // A cell whose record is gone would be a fault of the store, never of a script.
  if (!r) error::raise(ERR_ACCESS, "bad-media");
  return r;
}

uint64_t pixel_count(const Cell* img) { return uint64_t(width(img)) * height(img); }

int64_t index_of(const Cell* img) { return static_cast<int32_t>(img->index()); }

uint8_t opacity(uint32_t p) { return uint8_t(p >> 24); }

// The pixel word a colour tuple stands for (a 3-byte tuple is opaque).
uint32_t tuple_pixel(const Cell* t) {
  uint8_t b[tuple::MAX_LENGTH];
  tuple::get_bytes(t, b);
  uint8_t a = tuple::length(t) > 3 ? b[3] : 0;
  return uint32_t(255 - a) << 24 | uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
}

bool name_is(const Cell* word, const char* name) {
  symbol::Name n = symbol::name(word->data2);
  return n.length == std::strlen(name) && strncasecmp(n.bytes, name, n.length) == 0;
}

Cell* push_none() { return set_none(stack::new_cell()); }

}  // namespace image_detail

// ---- Values ---------------------------------------------------------------------------------

Cell* make_at(Cell* out, Record* r) { return image_store::make_value(out, r); }

Cell* make_blank(Cell* out, uint32_t w, uint32_t h) {
  Record* r = image_store::allocate(w, h);
  if (!r) error::raise(ERR_INTERNAL, "no-memory");
  return make_at(out, r);
}

Cell* pixel_tuple(Cell* out, uint32_t p) {
  return tuple::make_rgba(out, (p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF,
                          255 - image_detail::opacity(p));
}

// ---- Positions -------------------------------------------------------------------------------

namespace image_detail {

int64_t position_to_offset(const Cell* img, const Cell* pos, bool one_based, bool* outside) {
  int64_t w = width(img), h = height(img);
  int64_t offset;
  bool out = false;
  if (pos->is(TYPE_PAIR)) {
    int64_t x = pair::x_of(pos), y = pair::y_of(pos);
    if (one_based) {
      x -= 1;
      y -= 1;
    }
    out = x < 0 || x >= w || y < 0 || y >= h;
    offset = x + w * y;
  } else {
    int64_t n = pos->is(TYPE_INTEGER) ? pos->int_value() : 0;
    offset = index_of(img) + n - (one_based ? 1 : 0);
    out = offset < 0 || offset >= w * h;
  }
  if (outside) *outside = out;
  return offset;
}

int64_t clamp_offset(const Cell* img, int64_t offset) {
  return std::clamp<int64_t>(offset, 0, int64_t(pixel_count(img)));
}

}  // namespace image_detail

Cell* pick_at(const Cell* img, const Cell* pos) {
  using namespace image_detail;
  bool outside = false;
  int64_t at = position_to_offset(img, pos, true, &outside);
  if (outside) return push_none();
  Record* r = record_of(img);
  return pixel_tuple(stack::new_cell(), r->pixels[at]);
}

Cell* poke_at(Cell* img, const Cell* pos, Cell* value) {
  using namespace image_detail;
  bool outside = false;
  int64_t at = position_to_offset(img, pos, true, &outside);
  if (outside) error::raise(ERR_SCRIPT, "out-of-range", pos);
  if (!value->is(TYPE_TUPLE)) error::raise(ERR_SCRIPT, "invalid-arg", value);
  int32_t offset = static_cast<int32_t>(at);
  ownership::notify_before(img, ownership::Change::poke, value, offset, 1);
  Record* r = record_of(img);
  // The handler may have run code: the image's size cannot change, so the offset stands.
  image_store::lock(r, true).data[offset] = tuple_pixel(value);
  ownership::notify_after(img, ownership::Change::poke, value, offset, 1);
  return value;
}

// ---- Whole-image conversions -------------------------------------------------------------

Cell* pixels_to_binary(const Cell* img, PixelMode mode) {
  using namespace image_detail;
  uint64_t n = pixel_count(img);
  uint64_t per = mode == MODE_ARGB ? 4 : mode == MODE_RGB ? 3 : 1;
  Cell* out = binary::make_at(stack::new_cell(), static_cast<uint32_t>(n * per));
  Record* r = record_of(img);
  SeriesBuffer* b = cell_buffer(out);
  uint8_t* d = b->tail_ptr();
  for (uint64_t i = 0; i < n; i++) {
    uint32_t p = r->pixels[i];
    switch (mode) {
      case MODE_ARGB: std::memcpy(d, &p, 4); d += 4; break;
      case MODE_RGB:
        *d++ = uint8_t(p >> 16);
        *d++ = uint8_t(p >> 8);
        *d++ = uint8_t(p);
        break;
      case MODE_ALPHA: *d++ = uint8_t(255 - opacity(p)); break;
    }
  }
  b->tail += static_cast<uint32_t>(n * per);
  return out;
}

void set_pixels(Cell* img, Cell* value, PixelMode mode) {
  using namespace image_detail;
  TypeId t = value->type();
  if (t != TYPE_BINARY && t != TYPE_TUPLE && t != TYPE_INTEGER)
    error::raise(ERR_SCRIPT, "invalid-arg", value);
  Record* r = record_of(img);
  image_store::Pixels px = image_store::lock(r, true);
  uint64_t n = uint64_t(px.width) * px.height;
  uint32_t* p = px.data;
  if (t == TYPE_BINARY) {
    const uint8_t* s = binary::rs_head(value);
    uint64_t len = binary::rs_length(value);
    if (mode == MODE_ARGB) {
      if (n) std::memcpy(p, s, std::min<uint64_t>(n * 4, len));
    } else if (mode == MODE_RGB) {
      uint64_t k = std::min<uint64_t>(len / 3, n);
      for (uint64_t i = 0; i < k; i++)
        p[i] = (p[i] & 0xFF000000u) | uint32_t(s[i * 3]) << 16 | uint32_t(s[i * 3 + 1]) << 8 |
               s[i * 3 + 2];
    } else {
      uint64_t k = std::min<uint64_t>(len, n);
      for (uint64_t i = 0; i < k; i++) p[i] = (p[i] & 0xFFFFFFu) | uint32_t(255 - s[i]) << 24;
    }
  } else {
    uint32_t c = t == TYPE_TUPLE ? tuple_pixel(value) : static_cast<uint32_t>(value->int_value());
    for (uint64_t i = 0; i < n; i++) {
      if (mode == MODE_ARGB) {
        p[i] = c;
      } else if (mode == MODE_RGB) {
        p[i] = (p[i] & 0xFF000000u) | (c & 0xFFFFFFu);
      } else {
        uint8_t a;
        if (t == TYPE_INTEGER) {
          a = uint8_t(255 - (value->int_value() & 0xFF));
        } else {
          uint8_t b[tuple::MAX_LENGTH];
          tuple::get_bytes(value, b);
          a = uint8_t(255 - b[0]);
        }
        p[i] = (p[i] & 0xFFFFFFu) | uint32_t(a) << 24;
      }
    }
  }
  image_store::unlock(r);
  ownership::notify_after(img, ownership::Change::poke, value,
                          static_cast<int32_t>(image_detail::index_of(img)), 0);
}

// ---- Make and to -------------------------------------------------------------------------

namespace image_detail {

// Each side beyond what the size word holds is refused; negative sides count as 0.
uint32_t side(int32_t v, const Cell* spec) {
  if (v < 0) return 0;
  if (uint32_t(v) > image_store::MAX_SIDE) error::raise(ERR_SCRIPT, "out-of-range", spec);
  return uint32_t(v);
}

Cell* copy_whole(const Cell* img) {
  Record* src = record_of(img);
  Record* r = image_store::copy_rect(src, 0, 0, src->width, src->height);
  return make_at(stack::new_cell(), r);
}

Cell* make_from_block(Cell* proto, Cell* spec) {
  SeriesBuffer* b = cell_buffer(spec);
  int64_t from = std::clamp<int64_t>(index_of(spec), 0, b->count());
  int64_t n = int64_t(b->count()) - from;
  if (n == 0) {
    if (proto->is(TYPE_IMAGE)) return copy_whole(proto);
    error::raise(ERR_SCRIPT, "invalid-arg", spec);
  }
  Cell items[3];
  for (int64_t i = 0; i < 3 && i < n; i++) items[i] = b->cells()[from + i];
  if (!items[0].is(TYPE_PAIR)) {
    Cell expected, got;
    set_datatype(&expected, TYPE_PAIR);
    set_datatype(&got, items[0].type());
    error::raise(ERR_SCRIPT, "expect-val", &expected, &got);
  }
  uint32_t w = side(pair::x_of(&items[0]), &items[0]);
  uint32_t h = side(pair::y_of(&items[0]), &items[0]);
  const Cell* rgb = nullptr;
  const Cell* colour = nullptr;
  const Cell* alpha = nullptr;
  if (n > 1) {
    if (items[1].is(TYPE_BINARY)) rgb = &items[1];
    else if (items[1].is(TYPE_TUPLE)) colour = &items[1];
    else error::raise(ERR_SCRIPT, "invalid-arg", &items[1]);
  }
  if (n > 2) {
    if (!items[2].is(TYPE_BINARY)) error::raise(ERR_SCRIPT, "invalid-arg", &items[2]);
    alpha = &items[2];
  }
  if (!image_store::size_ok(w, h)) error::raise(ERR_INTERNAL, "no-memory");
  Record* r = image_store::make_bitmap(
      w, h, rgb ? binary::rs_head(rgb) : nullptr, rgb ? binary::rs_length(rgb) : 0,
      alpha ? binary::rs_head(alpha) : nullptr, alpha ? binary::rs_length(alpha) : 0, colour);
  return make_at(stack::new_cell(), r);
}

Cell* to(Cell*, Cell* spec, int) {
  if (spec->is(TYPE_IMAGE)) return copy_whole(spec);
  if (spec->is(TYPE_OBJECT) && view_hooks::face_to_image) {
    Cell* out = set_none(stack::new_cell());
    if (view_hooks::face_to_image(spec, out)) return out;
    stack::pop(1);
  }
  Cell dt;
  set_datatype(&dt, TYPE_IMAGE);
  error::raise(ERR_SCRIPT, "bad-to-arg", &dt, spec);
}

Cell* make(Cell* proto, Cell* spec, int type) {
  if (spec->is(TYPE_PAIR)) {
    uint32_t w = side(pair::x_of(spec), spec), h = side(pair::y_of(spec), spec);
    if (!image_store::size_ok(w, h)) error::raise(ERR_INTERNAL, "no-memory");
    Record* r = image_store::make_bitmap(w, h, nullptr, 0, nullptr, 0, nullptr);
    return make_at(stack::new_cell(), r);
  }
  if (spec->is(TYPE_BLOCK)) return make_from_block(proto, spec);
  return to(proto, spec, type);
}

// ---- Form and mold -------------------------------------------------------------------------

void new_line(NodeId out, int level) {
  string::append_char(out, '\n');
  for (int i = 0; i < 4 * level; i++) string::append_char(out, ' ');
}

int mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell* part, int limit,
         int indent) {
  NodeId out = buffer->node();
  auto text = [&](const char* s) {
    string::append_ascii(out, s);
    limit -= static_cast<int>(std::strlen(s));
  };
  if (!only) text("make image! [");
  integer::DecimalText w = integer::to_decimal(static_cast<int32_t>(width(value)));
  integer::DecimalText h = integer::to_decimal(static_cast<int32_t>(height(value)));
  text(w.text);
  text("x");
  text(h.text);
  uint64_t total = pixel_count(value);
  if (total == 0) {
    text(" #{}");
    if (!only) text("]");
    return limit;
  }
  int64_t from = std::clamp<int64_t>(index_of(value), 0, int64_t(total));
  uint64_t count = total - uint64_t(from);
  bool long_text = count * 3 > 30 && !flat;
  text(" #{");
  if (long_text) new_line(out, indent + 1);
  bool translucent = false;
  for (uint64_t i = 0; i < count; i++) {
    // Re-read each time: the buffer of the text may move, the pixels never do.
    uint32_t p = record_of(value)->pixels[from + i];
    if (opacity(p) != 255) translucent = true;
    text(string::byte_to_hex(uint8_t(p >> 16)));
    text(string::byte_to_hex(uint8_t(p >> 8)));
    text(string::byte_to_hex(uint8_t(p)));
    if (long_text && (i + 1) % 10 == 0) new_line(out, indent + 1);
    if (part && limit <= 0) return limit;
  }
  if (long_text && count % 10 != 0) new_line(out, indent);
  text("}");
  if (translucent) {
    text(" #{");
    if (!flat) new_line(out, indent + 1);
    for (uint64_t i = 0; i < count; i++) {
      uint32_t p = record_of(value)->pixels[from + i];
      text(string::byte_to_hex(uint8_t(255 - opacity(p))));
      if (!flat && (i + 1) % 10 == 0 && i + 1 < count) new_line(out, indent + 1);
      if (part && limit <= 0) return limit;
    }
    if (!flat) new_line(out, indent);
    text("}");
  }
  if (!only) text("]");
  return limit;
}

int form(Cell* value, Cell* buffer, Cell* part, int limit) {
  return mold(value, buffer, false, false, false, part, limit, 0);
}

// ---- Paths -------------------------------------------------------------------------------------

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int, bool,
                bool, bool, bool) {
  Cell* where = path ? path : parent;
  if (element->is(TYPE_INTEGER) || element->is(TYPE_PAIR))
    return value ? poke_at(parent, element, value) : pick_at(parent, element);
  if (element->is(TYPE_WORD)) {
    if (name_is(element, "size")) {
      if (value) error::raise(ERR_SCRIPT, "invalid-path", where, element);
      return pair::push(static_cast<int32_t>(width(parent)), static_cast<int32_t>(height(parent)));
    }
    PixelMode mode;
    bool known = true;
    if (name_is(element, "argb")) mode = MODE_ARGB;
    else if (name_is(element, "rgb")) mode = MODE_RGB;
    else if (name_is(element, "alpha")) mode = MODE_ALPHA;
    else known = false;
    if (known) {
      if (!value) return pixels_to_binary(parent, mode);
      set_pixels(parent, value, mode);
      return value;
    }
  }
  error::raise(ERR_SCRIPT, "invalid-path", where, element);
}

// ---- Compare -----------------------------------------------------------------------------------

int compare(Cell* a, Cell* b, int op) {
  if (!b->is(TYPE_IMAGE)) return COMPARE_UNRELATED;
  bool same = a->node() == b->node() && a->index() == b->index();
  if (op == COMP_SAME) return same ? 0 : -1;
  bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL;
  if (equality && same) return 0;
  if (!equality && op != COMP_SORT && op != COMP_CASE_SORT && op != COMP_FIND_EQUAL)
    return COMPARE_UNRELATED;
  uint64_t na = pixel_count(a), nb = pixel_count(b);
  if (na != nb) return na < nb ? -1 : 1;
  if (na == 0) return 0;
  int c = std::memcmp(record_of(a)->pixels, record_of(b)->pixels, na * 4);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// ---- Series actions --------------------------------------------------------------------------

void move_to(bool one_based) {
  Cell* img = stack::base;
  Cell* n = img + 1;
  if (!n->is(TYPE_INTEGER) && !n->is(TYPE_PAIR)) error::raise(ERR_SCRIPT, "invalid-arg", n);
  int64_t at = clamp_offset(img, position_to_offset(img, n, one_based, nullptr));
  img->data1 = static_cast<uint32_t>(at);
}

Cell* at() {
  move_to(true);
  return stack::base;
}

Cell* skip() {
  move_to(false);
  return stack::base;
}

Cell* next() {
  Cell* img = stack::base;
  if (index_of(img) < int64_t(pixel_count(img))) img->data1 += 1;
  return img;
}

Cell* tail() {
  stack::base->data1 = static_cast<uint32_t>(pixel_count(stack::base));
  return stack::base;
}

Cell* tail_q() {
  Cell* img = stack::base;
  return set_logic(img, index_of(img) >= int64_t(pixel_count(img)));
}

int length_q(Cell* img) { return static_cast<int>(pixel_count(img)); }

Cell* pick(Cell* img, int, Cell* boxed) { return pick_at(img, boxed); }

Cell* poke(Cell* img, int, Cell* data, Cell* boxed) { return poke_at(img, boxed, data); }

Cell* change(Cell* img, Cell* value, int part, bool, int dup) {
  if (part >= 2 || dup >= 2) error::raise(ERR_INTERNAL, "not-done");
  int64_t idx = index_of(img);
  if (value->is(TYPE_TUPLE)) {
    ownership::notify_before(img, ownership::Change::change, value, static_cast<int32_t>(idx), 1);
    Cell pos;
    set_integer(&pos, 1);
    bool outside = false;
    int64_t at = position_to_offset(img, &pos, true, &outside);
    if (outside) error::raise(ERR_SCRIPT, "out-of-range", &pos);
    image_store::lock(record_of(img), true).data[at] = tuple_pixel(value);
    img->data1 = static_cast<uint32_t>(idx + 1);
    ownership::notify_after(img, ownership::Change::change, value, static_cast<int32_t>(idx), 1);
    return img;
  }
  if (!value->is(TYPE_IMAGE)) {
    Cell dt;
    set_datatype(&dt, value->type());
    error::raise(ERR_SCRIPT, "invalid-type", &dt);
  }
  uint64_t total = pixel_count(img);
  if (idx < 0 || uint64_t(idx) >= total) return img;
  ownership::notify_before(img, ownership::Change::change, value, static_cast<int32_t>(idx), 0);
  Record* dst = record_of(img);
  Record* src = record_of(value);
  uint32_t w = dst->width, h = dst->height;
  uint32_t x = static_cast<uint32_t>(idx % w), y = static_cast<uint32_t>(idx / w);
  uint32_t cw = std::min(src->width, w - x), ch = std::min(src->height, h - y);
  // The source may be the target itself: rows are moved, not copied blindly.
  uint32_t* d = image_store::lock(dst, true).data;
  for (uint32_t row = 0; row < ch; row++)
    std::memmove(d + size_t(y + row) * w + x, src->pixels + size_t(row) * src->width,
                 size_t(cw) * 4);
  int64_t end = ch ? int64_t(y + ch - 1) * w + x + cw : idx;
  img->data1 = static_cast<uint32_t>(end);
  ownership::notify_after(img, ownership::Change::change, value, static_cast<int32_t>(idx),
                          static_cast<int32_t>(uint64_t(cw) * ch));
  return img;
}

Cell* empty(Cell* result) { return make_at(result, image_store::allocate(0, 0)); }

Cell* copy(Cell* value, Cell* result, Cell* part, bool, Cell*) {
  int64_t w = width(value), h = height(value);
  if (w == 0 || h < 1) return empty(result);
  int64_t idx = index_of(value);
  int64_t x0 = idx % w, y0 = idx / w;
  int64_t x = x0, y = y0, cw, ch;
  if (!part) {
    if (idx == 0) {
      Record* src = record_of(value);
      return make_at(result, image_store::copy_rect(src, 0, 0, src->width, src->height));
    }
    cw = w - x0;
    ch = h - y0;
  } else if (part->is(TYPE_PAIR)) {
    int64_t px = pair::x_of(part), py = pair::y_of(part);
    bool inside = idx >= 0 && idx < w * h;
    if (px >= 1 && py >= 1 && inside) {
      cw = std::min(px, w - x0);
      ch = std::min(py, h - y0);
    } else if (px < 0 && py < 0 && idx >= 1) {
      int64_t right = x0 == 0 ? w : x0;
      int64_t bottom = std::min(y0 + 1, h);
      x = std::max<int64_t>(0, right + px);
      y = std::max<int64_t>(0, bottom + py);
      cw = right - x;
      ch = bottom - y;
    } else {
      return empty(result);
    }
  } else if (part->is(TYPE_IMAGE)) {
    if (part->node() != value->node()) actions::raise_invalid_refine("part", part);
    int64_t other = static_cast<int32_t>(part->index());
    int64_t lo = std::max<int64_t>(0, std::min(idx, other));
    int64_t hi = std::max(idx, other);
    x = lo % w;
    y = lo / w;
    cw = hi % w - x;
    ch = std::min(hi / w, h) - y;
  } else if (part->is(TYPE_INTEGER)) {
    error::raise(ERR_INTERNAL, "not-done");
  } else {
    actions::raise_invalid_refine("part", part);
  }
  if (cw < 1 || ch < 1 || x < 0 || y < 0 || x + cw > w || y + ch > h) return empty(result);
  return make_at(result, image_store::copy_rect(record_of(value), uint32_t(x), uint32_t(y),
                                                uint32_t(cw), uint32_t(ch)));
}

}  // namespace image_detail

void init() {
  using namespace image_detail;
  image_store::init();
  datatype::register_type(TYPE_IMAGE, TYPE_SERIES, "image!", {
      on<ACT_MAKE>(&make),
      on<ACT_TO>(&to),
      on<ACT_FORM>(&form),
      on<ACT_MOLD>(&mold),
      on<ACT_EVAL_PATH>(&eval_path),
      on<ACT_COMPARE>(&compare),
      on<ACT_AT>(&at),
      inherit(ACT_BACK),
      on<ACT_CHANGE>(&change),
      on<ACT_COPY>(&copy),
      inherit(ACT_HEAD), inherit(ACT_HEAD_Q), inherit(ACT_INDEX_Q),
      on<ACT_LENGTH_Q>(&length_q),
      on<ACT_NEXT>(&next),
      on<ACT_PICK>(&pick),
      on<ACT_POKE>(&poke),
      on<ACT_SKIP>(&skip),
      on<ACT_TAIL>(&tail),
      on<ACT_TAIL_Q>(&tail_q),
      inherit(ACT_MODIFY),
  });
}

}  // namespace tav::image

namespace tav::init_steps {
void image_codecs() { image::init(); }
}  // namespace tav::init_steps

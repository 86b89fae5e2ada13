#include "platform/image_store.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "core/errors.h"
#include "core/handles.h"
#include "core/memory.h"
#include "core/stack.h"
#include "datatypes/tuple.h"

namespace tav::image_store {

namespace image_store_detail {

int kind = 0;

void release(void* pointer) { destroy(static_cast<Record*>(pointer)); }

uint32_t pixel(uint8_t r, uint8_t g, uint8_t b, uint8_t opacity) {
  return uint32_t(opacity) << 24 | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

}  // namespace image_store_detail

bool size_ok(uint64_t width, uint64_t height) {
  return width <= MAX_SIDE && height <= MAX_SIDE && width * height <= MAX_PIXELS;
}

void init() { image_store_detail::kind = handles::register_kind("image", &image_store_detail::release); }

Record* allocate(uint32_t width, uint32_t height) {
  if (!size_ok(width, height)) return nullptr;
  auto* r = new (std::nothrow) Record;
  if (!r) return nullptr;
  r->width = width;
  r->height = height;
  if (r->count()) {
    r->pixels = static_cast<uint32_t*>(std::calloc(r->count(), 4));
    if (!r->pixels) {
      delete r;
      return nullptr;
    }
  }
  r->flags = FLAG_WRITTEN;
  return r;
}

void destroy(Record* r) {
  if (!r) return;
  drop_device(r);
  std::free(r->pixels);
  std::free(r->premultiplied);
  delete r;
}

Cell* make_value(Cell* out, Record* r) {
  bool on_stack = out >= stack::begin && out < stack::end;
  uint32_t at = on_stack ? stack::index_of(out) : 0;
  NodeId node;
  try {
    node = alloc::new_bytes(sizeof(int32_t));
  } catch (...) {
    destroy(r);
    throw;
  }
  if (on_stack) out = stack::at_index(at);
  int32_t h = handles::new_(r, image_store_detail::kind);
  SeriesBuffer* b = node_buffer(node);
  std::memcpy(b->head_ptr(), &h, sizeof h);
  b->tail = b->head + sizeof h;
  *out = make_cell(TYPE_IMAGE, 0, node, r->size_word());
  return out;
}

Record* record(const Cell* image) {
  if (!image->is(TYPE_IMAGE)) return nullptr;
  int32_t h = handles::node_handle(image->node());
  if (h < 0 || handles::kind_of(h) != image_store_detail::kind) return nullptr;
  return static_cast<Record*>(handles::pointer(h));
}

Record* make_bitmap(uint32_t width, uint32_t height, const uint8_t* rgb, size_t rgb_length,
                    const uint8_t* alpha, size_t alpha_length, const Cell* colour) {
  using image_store_detail::pixel;
  Record* r = allocate(width, height);
  if (!r) error::raise(ERR_INTERNAL, "no-memory");
  uint64_t n = r->count();
  if (colour) {
    uint8_t bytes[tuple::MAX_LENGTH];
    tuple::get_bytes(colour, bytes);
    uint8_t opacity = tuple::length(colour) > 3 ? uint8_t(255 - bytes[3]) : 255;
    uint32_t p = pixel(bytes[0], bytes[1], bytes[2], opacity);
    for (uint64_t i = 0; i < n; i++) r->pixels[i] = p;
    return r;
  }
  uint64_t rgb_pixels = rgb ? rgb_length / 3 : 0;
  uint64_t alpha_pixels = alpha ? alpha_length : 0;
  for (uint64_t i = 0; i < n; i++) {
    uint8_t cr = 255, cg = 255, cb = 255, opacity = 255;
    if (i < rgb_pixels) {
      cr = rgb[i * 3];
      cg = rgb[i * 3 + 1];
      cb = rgb[i * 3 + 2];
    }
    if (i < alpha_pixels) opacity = uint8_t(255 - alpha[i]);
    r->pixels[i] = pixel(cr, cg, cb, opacity);
  }
  return r;
}

Record* copy_rect(const Record* src, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
  Record* r = allocate(w, h);
  if (!r) error::raise(ERR_INTERNAL, "no-memory");
  for (uint32_t row = 0; row < h; row++)
    std::memcpy(r->pixels + size_t(row) * w, src->pixels + (size_t(y) + row) * src->width + x,
                size_t(w) * 4);
  return r;
}

Record* scale(const Record* src, uint32_t width, uint32_t height) {
  Record* r = allocate(width, height);
  if (!r) error::raise(ERR_INTERNAL, "no-memory");
  if (!src->count()) return r;
  for (uint32_t row = 0; row < height; row++) {
    uint32_t sy = uint32_t(uint64_t(row) * src->height / height);
    for (uint32_t col = 0; col < width; col++) {
      uint32_t sx = uint32_t(uint64_t(col) * src->width / width);
      r->pixels[size_t(row) * width + col] = src->pixels[size_t(sy) * src->width + sx];
    }
  }
  return r;
}

Pixels lock(Record* r, bool write) {
  if (write) mark_changed(r);
  return Pixels{r->pixels, r->width, r->height, r->width * 4};
}

void mark_changed(Record* r) {
  r->flags |= FLAG_WRITTEN;
  drop_device(r);
}

const uint32_t* premultiplied(Record* r) {
  uint64_t n = r->count();
  if (!n) return nullptr;
  if (r->premultiplied && !(r->flags & FLAG_WRITTEN)) return r->premultiplied;
  if (!r->premultiplied) {
    r->premultiplied = static_cast<uint32_t*>(std::malloc(n * 4));
    if (!r->premultiplied) error::raise(ERR_INTERNAL, "no-memory");
  }
  for (uint64_t i = 0; i < n; i++) {
    uint32_t p = r->pixels[i];
    uint32_t a = p >> 24;
    auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
    r->premultiplied[i] =
        a << 24 | mul((p >> 16) & 0xFF) << 16 | mul((p >> 8) & 0xFF) << 8 | mul(p & 0xFF);
  }
  r->flags &= ~FLAG_WRITTEN;
  return r->premultiplied;
}

void cache_device(Record* r, void* device, DeviceRelease release) {
  drop_device(r);
  r->device = device;
  r->device_release = release;
}

void drop_device(Record* r) {
  if (r->device && r->device_release) r->device_release(r->device);
  r->device = nullptr;
  r->device_release = nullptr;
}

}  // namespace tav::image_store

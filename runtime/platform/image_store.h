// The image store: the pixels behind every image! value.
//
// A platform image is a Record kept outside the collected heap and reached through the handle
// table (kind "image"), so no value ever holds its address. An image! cell names a small
// byte series (its node) whose first four bytes are that handle; every cell on the node
// shares the pixels. The collector marks the handle when it marks the node, and the handle's
// release callback frees the record once no value holds the node.
//
// Pixels: 32 bits each, the word 0xAARRGGBB (bytes B, G, R, A in memory), rows without
// padding (stride width × 4), straight alpha where AA is the opacity (255 opaque). The word
// layout is the one QImage::Format_ARGB32 uses, so a view can wrap the pixels as they are.
// Width and height are at most 65,535 each (the image! cell packs them into one word).
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cell.h"

namespace tav::image_store {

constexpr uint32_t MAX_SIDE = 65535;
// The most pixels one image may hold (1 GiB of pixel data). Sizes are checked against it
// before anything is allocated, so a file that claims a huge image fails cleanly.
constexpr uint64_t MAX_PIXELS = uint64_t(1) << 28;

// Change marks of a record.
constexpr uint32_t FLAG_WRITTEN = 0x02;        // pixels changed since the premultiplied copy was made

using DeviceRelease = void (*)(void* device);

struct Record {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t flags = 0;
  uint32_t* pixels = nullptr;          // width × height words; null for an empty image
  uint32_t* premultiplied = nullptr;   // cached premultiplied copy, rebuilt after writes
  void* device = nullptr;              // a view's cached drawing object, dropped on change
  DeviceRelease device_release = nullptr;

  uint64_t count() const { return uint64_t(width) * height; }
  uint32_t size_word() const { return height << 16 | width; }
};

// The size word of an image! cell: height << 16 | width.
inline uint32_t size_word(uint32_t width, uint32_t height) { return height << 16 | width; }
inline uint32_t width_of(uint32_t size) { return size & 0xFFFF; }
inline uint32_t height_of(uint32_t size) { return size >> 16; }

// Whether an image of that size may be made (each side at most MAX_SIDE, at most MAX_PIXELS).
bool size_ok(uint64_t width, uint64_t height);

// Runtime start-up: registers the "image" handle kind.
void init();

// A new record of width × height pixels, all 0 (transparent black) until the caller fills them;
// null when the size is refused or the memory cannot be had. Owned by the caller until
// adopted by a value (make_value) or given back with destroy.
Record* allocate(uint32_t width, uint32_t height);
void destroy(Record* r);

// Makes `out` an image! value over the record (index 0): a new node holding a new handle.
// The record now belongs to the value; a failure releases it and raises.
Cell* make_value(Cell* out, Record* r);

// The record of an image! value (null for a cell without one).
Record* record(const Cell* image);

// A new record from the make parameters: every pixel the colour tuple's (alpha from its
// fourth byte, transparency as the language gives it) when a colour is given, else RGB
// bytes (3 a pixel) and alpha bytes (1 a pixel, transparency); each runs out to 255.
// Raises internal no-memory when the size is refused.
Record* make_bitmap(uint32_t width, uint32_t height, const uint8_t* rgb, size_t rgb_length,
                    const uint8_t* alpha, size_t alpha_length, const Cell* colour);
// A copy of the rectangle (x, y, w, h), which the caller has clipped to the image.
Record* copy_rect(const Record* src, uint32_t x, uint32_t y, uint32_t w, uint32_t h);
// A nearest-neighbour scaled copy.
Record* scale(const Record* src, uint32_t width, uint32_t height);

// Pixel access. A write lock marks the pixels written and drops the cached device object.
struct Pixels {
  uint32_t* data;
  uint32_t width;
  uint32_t height;
  uint32_t stride;   // bytes a row
};
Pixels lock(Record* r, bool write);
inline void unlock(Record*) {}
// Marks the pixels changed (drawn into by a view): the premultiplied copy and the device
// object are stale.
void mark_changed(Record* r);

// The pixels with premultiplied alpha, rebuilt only when the pixels changed since.
const uint32_t* premultiplied(Record* r);

// The view's cached drawing object for the image (null when there is none). It is released
// with the record, and dropped whenever the pixels change.
inline void* cached_device(const Record* r) { return r->device; }
void cache_device(Record* r, void* device, DeviceRelease release);
void drop_device(Record* r);

}  // namespace tav::image_store

// JPEG through libjpeg-turbo, read straight into the store's BGRA layout (CMYK files are
// converted here). The library reports faults by a long jump back into the function that
// set it up; those functions hold nothing that needs a destructor.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "platform/image_codecs.h"

namespace tav::image_codecs {

namespace jpeg_detail {

struct Error {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  unsigned char* output = nullptr;   // the encoder's buffer, kept where a long jump finds it
};

[[noreturn]] void fail(j_common_ptr info) {
  std::longjmp(reinterpret_cast<Error*>(info->err)->jump, 1);
}
// Warnings (a corrupt stretch the library skips) are not printed.
void quiet(j_common_ptr, int) {}

constexpr int QUALITY = 90;

}  // namespace jpeg_detail

image_store::Record* decode_jpeg(const uint8_t* bytes, size_t length) {
  using namespace jpeg_detail;
  jpeg_decompress_struct info;
  Error err;
  info.err = jpeg_std_error(&err.base);
  err.base.error_exit = fail;
  err.base.emit_message = quiet;
  image_store::Record* volatile r = nullptr;
  uint8_t* volatile row = nullptr;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    image_store::destroy(r);
    std::free(row);
    return nullptr;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(length));
  jpeg_read_header(&info, TRUE);
  bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_calc_output_dimensions(&info);
  if (!image_store::size_ok(info.output_width, info.output_height) || info.output_width == 0 ||
      info.output_height == 0)
    fail(reinterpret_cast<j_common_ptr>(&info));
  r = image_store::allocate(info.output_width, info.output_height);
  if (!r) fail(reinterpret_cast<j_common_ptr>(&info));
  if (cmyk) {
    row = static_cast<uint8_t*>(std::malloc(size_t(info.output_width) * 4));
    if (!row) fail(reinterpret_cast<j_common_ptr>(&info));
  }
  // Adobe's CMYK files store the inks inverted.
  bool inverted = info.saw_Adobe_marker;
  jpeg_start_decompress(&info);
  while (info.output_scanline < info.output_height) {
    uint32_t y = info.output_scanline;
    uint32_t* dst = r->pixels + uint64_t(y) * r->width;
    JSAMPROW target = cmyk ? row : reinterpret_cast<JSAMPROW>(dst);
    if (jpeg_read_scanlines(&info, &target, 1) != 1) fail(reinterpret_cast<j_common_ptr>(&info));
    if (cmyk) {
      for (uint32_t x = 0; x < r->width; x++) {
        uint32_t c = row[x * 4], m = row[x * 4 + 1], yl = row[x * 4 + 2], k = row[x * 4 + 3];
        if (!inverted) {
          c = 255 - c;
          m = 255 - m;
          yl = 255 - yl;
          k = 255 - k;
        }
        dst[x] = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (yl * k / 255);
      }
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::free(row);
  return r;
}

bool encode_jpeg(const image_store::Record* r, std::vector<uint8_t>* out) {
  using namespace jpeg_detail;
  jpeg_compress_struct info;
  Error err;
  info.err = jpeg_std_error(&err.base);
  err.base.error_exit = fail;
  err.base.emit_message = quiet;
  unsigned long size = 0;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&info);
    std::free(err.output);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, &err.output, &size);
  info.image_width = r->width;
  info.image_height = r->height;
  info.input_components = 4;
  info.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, QUALITY, TRUE);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(
        const_cast<uint32_t*>(r->pixels + uint64_t(info.next_scanline) * r->width));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  out->insert(out->end(), err.output, err.output + size);
  jpeg_destroy_compress(&info);
  std::free(err.output);
  return true;
}

}  // namespace tav::image_codecs

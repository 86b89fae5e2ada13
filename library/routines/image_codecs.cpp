// The image codecs' encode and decode: each codec object's encode passes its own format.
#include "datatypes/image.h"
#include "routines.h"

namespace tav::routines {

namespace image_codecs_detail {
Status encode_as(int format) {
  Cell* result = image::encode(arg(0), arg(1), format);
  *stack::base = *result;
  return done();
}
}  // namespace image_codecs_detail

Status encode_png(const int32_t*) { return image_codecs_detail::encode_as(image::FORMAT_PNG); }
Status encode_jpeg(const int32_t*) { return image_codecs_detail::encode_as(image::FORMAT_JPEG); }
Status encode_bmp(const int32_t*) { return image_codecs_detail::encode_as(image::FORMAT_BMP); }
Status encode_gif(const int32_t*) { return image_codecs_detail::encode_as(image::FORMAT_GIF); }
Status encode_tiff(const int32_t*) { return image_codecs_detail::encode_as(image::FORMAT_TIFF); }

Status decode_image(const int32_t*) {
  Cell* result = image::decode(arg(0));
  *stack::base = *result;
  return done();
}

}  // namespace tav::routines

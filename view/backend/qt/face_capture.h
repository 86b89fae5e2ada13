// A face's current look as an image! (`to image!` of a face).
#pragma once
#include "core/cell.h"

namespace tav::gui {

// True with `out` the image (none for a face with no window); false when the value is no face.
bool face_to_image(const Cell* value, Cell* out);

}  // namespace tav::gui

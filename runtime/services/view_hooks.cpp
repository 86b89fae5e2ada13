#include "services/view_hooks.h"

#include "core/errors.h"

namespace tav::view_hooks {

NativeEntry entries[ENTRY_COUNT] = {};
FaceToImage face_to_image = nullptr;

Status call(Entry entry, const int32_t* refs) {
  NativeEntry e = entry >= 0 && entry < ENTRY_COUNT ? entries[entry] : nullptr;
  if (!e) error::raise(ERR_INTERNAL, "feature-na");
  return e(refs);
}

}  // namespace tav::view_hooks

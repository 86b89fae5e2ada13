// What a face's `options` block and its image give its widget beyond the other facets: the
// pointer's shape over the face, and a button's picture.
#pragma once
#include <QWidget>

#include "core/cell.h"
#include "view/backend/qt/face_widgets.h"

namespace tav::gui {

// The value that follows the key (a word or set-word) in the face's options block; null when
// the block has no such key. The block is read as key/value pairs.
const Cell* face_option(const Cell* face, const char* key);

// The cursor shown over the face: `cursor:` in its options names a shape (I-beam, hand,
// cross, resize-ns, resize-ew, resize-we; any other word the arrow) or gives an image, whose
// centre is the hot spot. No cursor option: the widget's own cursor (a parent's, an edit's).
void apply_cursor(QWidget* widget, const Cell* face);

// A button's or toggle's picture from its `image`: one image at its own size, or a block of
// images, sized by a pair that follows a single image, else to the face. None removes it.
void apply_button_image(QWidget* widget, FaceKind kind, const Cell* face);

}  // namespace tav::gui

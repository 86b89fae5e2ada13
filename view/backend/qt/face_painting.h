// Faces that draw: their pixels are rendered into the window's back buffer (the face's colour,
// then its Draw block), and the widget's paint only shows that buffer.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::gui {

// Whether a face draws: a `draw` block on a window or panel.
bool face_draws(const Cell* face);
// Renders the window's face into its back buffer now (nothing while a render of it runs).
void render_face(uint32_t window);
// Renders later, once, from the loop (a resize, a facet change).
void queue_render(uint32_t window);
// Renders now every face of the top-level window that waits for its queued render, so that a
// synchronous paint shows them as they are.
void render_stale(uint32_t root);
// draw-face: runs the commands on the frame a render has open on the face's window, or on a
// frame of its own over the buffer as it is.
void draw_face(const Cell* face, const Cell* commands);

}  // namespace tav::gui

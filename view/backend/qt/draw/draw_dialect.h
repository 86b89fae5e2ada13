// The Draw dialect: a block of command words and their arguments, walked once and handed to
// the draw context's operations. Arguments are checked by datatype; words used as arguments
// are only looked up, never evaluated.
#pragma once
#include <functional>

#include "core/cell.h"
#include "view/backend/qt/draw/draw_context.h"
#include "view/backend/qt/draw/pixel_target.h"

namespace tav::gui::draw {

// Draws the commands on the target in one frame; `prepare` runs first on the open frame (a
// face clears its buffer to its colour). Without a window (window false) nothing is opened
// for a value that is not a non-empty block. A faulty block stops the drawing where it
// failed, everything before it stays drawn: with catch_errors the error is printed (nothing
// at all when system/view/silent? is on) and the frame closes normally; without, the error
// is raised to the caller once the frame is closed.
void do_draw(PixelTarget& target, const Cell* commands, bool catch_errors, bool window = false,
             const std::function<void(DrawContext&)>& prepare = {});

// Runs the commands on a frame that is already open (a drawing event's `draw-face`), with
// the same error rules.
void draw_on(DrawContext& ctx, const Cell* commands, bool catch_errors);

}  // namespace tav::gui::draw

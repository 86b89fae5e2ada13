// The error message box: how the program reports an error that nothing caught before it ends.
#pragma once
#include <string>

namespace tav::gui {

// Shows the text in a modal error box when a display is open (waiting until it is closed), and
// writes it on standard error in any case.
void error_box(const std::string& caption, const std::string& text);

}  // namespace tav::gui

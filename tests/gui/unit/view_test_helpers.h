// Evaluating Tav text from the view tests, and a face window to send input to.
#pragma once
#include <string>

#include "core/stack.h"
#include "datatypes/string.h"
#include "evaluator/interpreter.h"
#include "scanner/lexer.h"
#include "view/backend/qt/window_table.h"

namespace tav::viewtest {

// Evaluates the text and answers the mold of its value.
inline std::string eval_mold(const std::string& text) {
  stack::State saved = stack::save();
  Cell* code = set_none(stack::new_cell());
  lexer::transcode("mold do [" + text + "]", code);
  interp::eval_block(code, false);
  std::string out = string::to_std_string(stack::top - 1);
  stack::restore(saved);
  return out;
}

// Evaluates the text and answers its value (which nothing else holds afterwards).
inline Cell eval_value(const std::string& text) {
  stack::State saved = stack::save();
  Cell* code = set_none(stack::new_cell());
  lexer::transcode(text, code);
  interp::eval_block(code, false);
  Cell out = *(stack::top - 1);
  stack::restore(saved);
  return out;
}

// The window id a handle! names.
inline uint32_t window_of(const std::string& text) { return eval_value(text).data2; }

inline void eval(const std::string& text) { eval_mold(text + " none"); }

// The native widget made for a face (a path text such as "win/pane/1"), or null.
inline QWidget* widget_of(const std::string& face) {
  gui::WinData* w = gui::windows::find(window_of(face + "/state/1"));
  return w ? w->widget.data() : nullptr;
}

// A bare window face; its make-view handle is in its state block, as the View layer keeps it.
inline const char* FACE_SPEC =
    "make object! [type: 'window offset: 10x10 size: 120x80 text: \"t\" image: none "
    "color: none menu: none data: none enabled?: true visible?: true selected: none "
    "flags: none options: none parent: none pane: none state: none rate: none edge: none "
    "para: none font: none actors: none extra: none draw: none]";

}  // namespace tav::viewtest

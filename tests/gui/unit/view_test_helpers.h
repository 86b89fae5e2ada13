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

// The console's terminal without its engine: a stand-in for the fields the terminal reads, the
// console face (the facets given) and its caret on a shown window, and the terminal fitted to
// the face. A test appends its own set-up.
inline std::string console_standin(const std::string& console_facets) {
  return "system/console: object [size: 0x0 history: make block! 4 prompt: \">> \"] "
         "ctx: gui-console-ctx t: ctx/terminal "
         "ctx/console: make face! [" + console_facets + "] "
         "ctx/caret: make face! [type: 'base offset: 0x0 size: 1x17 color: 0.0.0.1] "
         "ctx/win: make face! [type: 'window text: \"Tav Console\" size: 400x300 "
         "pane: reduce [ctx/console ctx/caret]] "
         "ctx/scroller: make scroller! [position: 1 page-size: 1 max-size: 1] "
         "t/box/data: make block! 200 "
         "view/no-wait ctx/win "
         "t/update-cfg ctx/font none t/resize ctx/console/size ";
}

// A bare window face; its make-view handle is in its state block, as the View layer keeps it.
inline const char* FACE_SPEC =
    "make object! [type: 'window offset: 10x10 size: 120x80 text: \"t\" image: none "
    "color: none menu: none data: none enabled?: true visible?: true selected: none "
    "flags: none options: none parent: none pane: none state: none rate: none edge: none "
    "para: none font: none actors: none extra: none draw: none]";

}  // namespace tav::viewtest

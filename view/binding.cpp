#include "view/binding.h"

#include <string>

#include "core/errors.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/event.h"
#include "datatypes/object.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives.h"
#include "scanner/lexer.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/send_event.h"

namespace tav::binding {

namespace {

namespace gp = gui::platform;

// The entry points, by the number the glue below passes.
enum Routine : int32_t {
  R_INIT, R_MAKE_NULL_HANDLE, R_FETCH_ALL_SCREENS, R_GET_CURRENT_SCREEN, R_GET_SCREEN_SIZE,
  R_DESTROY_VIEW, R_REFRESH_WINDOW, R_REDRAW, R_SHOW_WINDOW, R_MAKE_VIEW, R_DO_EVENT_LOOP,
  R_EXIT_EVENT_LOOP, R_SUPPORT_DARK_MODE, R_EVENT_Q, R_FIND_FLAG_Q, R_SEND_EVENT_OS,
};

// The glue: each routine checks its arguments through its spec, then calls the native.
const char* GLUE = R"tav(
make object! [
    call: make native! [[routine [integer!] args [block!]] POSITION]
    view: make object! [
        screens: none
        awake: none
        metrics: make object! [dpi: 96 scroller: none]
        platform: make object! [
            make-null-handle: func [] [call 1 []]
            fetch-all-screens: func [] [call 2 []]
            get-current-screen: func [] [call 3 []]
            get-screen-size: func [id [integer!]] [call 4 reduce [id]]
            destroy-view: func [face [object!] empty? [logic!]] [call 5 reduce [face empty?]]
            refresh-window: func [h [handle!]] [call 6 reduce [h] exit]
            redraw: func [face [object!]] [call 7 reduce [face] exit]
            show-window: func [id [handle!]] [call 8 reduce [id]]
            make-view: func [face [object!] parent [handle!]] [call 9 reduce [face parent]]
            do-event-loop: func [no-wait? [logic!]] [call 10 reduce [no-wait?]]
            exit-event-loop: func [] [call 11 [] exit]
            support-dark-mode?: func [] [call 12 []]
            toggle-GPU: func [] [exit]
            init: func [/local info] [
                info: call 0 []
                version: 10.0.0
                build: info/1
                product: info/2
                metrics/dpi: info/3
                metrics/scroller: info/4
            ]
            version: none
            build: none
            product: none
        ]
    ]
    event?: func [value [any-type!]] [call 13 reduce [:value]]
    find-flag?: func [facet [any-type!] flag [word!]] [call 14 reduce [:facet flag]]
    send-event-os: func [event [event!] queued? [logic!]] [call 15 reduce [event queued?]]
]
)tav";

Cell arg_at(const Cell* args, uint32_t i) {
  SeriesBuffer* b = node_buffer(args->node());
  uint32_t k = args->index() + i;
  return k < b->count() ? b->cells()[k] : make_cell(TYPE_NONE);
}

Status platform_call(const int32_t*) {
  int32_t routine = stack::base[0].int_value();
  Cell args = stack::base[1];
  Cell a0 = arg_at(&args, 0), a1 = arg_at(&args, 1);
  Cell result = make_cell(TYPE_NONE);
  switch (routine) {
    case R_INIT: {
      gui::init();
      const gui::PlatformInfo& info = gui::platform_info();
      Cell* blk = block::push_only(4);
      Cell v;
      block::append_cell(blk, set_integer(&v, info.build));
      block::append_cell(blk, set_integer(&v, info.product));
      block::append_cell(blk, set_integer(&v, info.dpi));
      v = make_cell(TYPE_PAIR, 0, static_cast<uint32_t>(info.scroller[0]),
                    static_cast<uint32_t>(info.scroller[1]));
      block::append_cell(blk, &v);
      result = *blk;
      break;
    }
    case R_MAKE_NULL_HANDLE: result = gp::make_null_handle(); break;
    case R_FETCH_ALL_SCREENS: gp::fetch_all_screens(&result); break;
    case R_GET_CURRENT_SCREEN: result = gp::get_current_screen(); break;
    case R_GET_SCREEN_SIZE: result = gp::get_screen_size(a0.int_value()); break;
    case R_DESTROY_VIEW: gp::destroy_view(&a0, is_true(&a1)); break;
    case R_REFRESH_WINDOW: gp::refresh_window(&a0); break;
    case R_REDRAW: gp::redraw(&a0); break;
    case R_SHOW_WINDOW: gp::show_window(&a0); break;
    case R_MAKE_VIEW: result = gp::make_view(&a0, &a1); break;
    case R_DO_EVENT_LOOP: set_logic(&result, gp::do_event_loop(is_true(&a0))); break;
    case R_EXIT_EVENT_LOOP: gp::exit_event_loop(); break;
    case R_SUPPORT_DARK_MODE: set_logic(&result, gp::support_dark_mode()); break;
    case R_EVENT_Q: set_logic(&result, a0.is(TYPE_EVENT)); break;
    case R_FIND_FLAG_Q: set_logic(&result, event::find_flag(&a0, &a1)); break;
    case R_SEND_EVENT_OS: set_logic(&result, gui::send_event(&a0, is_true(&a1))); break;
    default: break;
  }
  *stack::base = result;
  stack::top = stack::base + 1;
  return CODE_NONE;
}

Cell evaluate(const std::string& text) {
  Cell* code = set_none(stack::new_cell());
  lexer::transcode(text, code);
  interp::eval_block(code, false);
  Cell out = *(stack::top - 1);
  stack::top = code;
  return out;
}

Cell* field_of(const Cell* obj, const char* name) {
  if (!obj || !obj->is(TYPE_OBJECT)) return nullptr;
  Cell w = word::make(symbol::make(name));
  if (object::word_index(obj, &w) < 0) return nullptr;
  return object::word_value_cell(obj, &w);
}

Cell* global_value(const char* name) {
  Cell* w = word::load(name);
  return interp::word_value_cell(w);
}

}  // namespace

void install() {
  uint32_t position = natives::append(platform_call);
  if (position == 0) return;
  // The native is made at a fixed position, then pointed at the appended entry.
  std::string glue = GLUE;
  glue.replace(glue.find("POSITION"), 8, "1");
  Cell made = evaluate(glue);
  Cell* keep = stack::push(&made);
  if (Cell* call = field_of(keep, "call")) call->data1 = position - 1;
  Cell* sys = global_value("system");
  if (!sys || !sys->is(TYPE_OBJECT)) {
    evaluate("system: make object! [view: none]");
  } else if (!field_of(sys, "view")) {
    evaluate("system: make system [view: none]");
  }
  sys = global_value("system");
  Cell* view = field_of(sys, "view");
  Cell* made_view = field_of(keep, "view");
  if (view && made_view) *view = *made_view;
  for (const char* routine : {"event?", "find-flag?", "send-event-os"}) {
    Cell* w = word::load(routine);
    if (Cell* fn = field_of(keep, routine)) interp::set_word(w, fn);
  }
  stack::top = keep;
}

bool awake_function(Cell* out) {
  Cell* view = field_of(global_value("system"), "view");
  Cell* awake = field_of(view, "awake");
  if (!awake || !interp::is_callable(awake->type())) return false;
  *out = *awake;
  return true;
}

}  // namespace tav::binding

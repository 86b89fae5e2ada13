#include "view/binding.h"

#include <QGuiApplication>
#include <QStyleHints>

#include "core/call_frame.h"
#include "core/symbols.h"
#include "core/words.h"
#include "datatypes/block.h"
#include "datatypes/object.h"
#include "datatypes/pair.h"
#include "datatypes/string.h"
#include "datatypes/tuple.h"
#include "evaluator/interpreter.h"
#include "evaluator/natives_system.h"
#include "services/view_hooks.h"
#include "view/backend/qt/backend.h"
#include "view/backend/qt/clipboard.h"
#include "view/backend/qt/dark_mode.h"
#include "view/backend/qt/draw/image_target.h"
#include "view/backend/qt/draw/text_box.h"
#include "view/backend/qt/fonts.h"
#include "view/backend/qt/face_capture.h"
#include "view/backend/qt/face_painting.h"
#include "view/backend/qt/face_scrollbars.h"
#include "view/backend/qt/file_dialogs.h"
#include "view/backend/qt/font_dialog.h"
#include "view/backend/qt/platform.h"
#include "view/backend/qt/send_event.h"

namespace tav::binding {

namespace {

namespace gp = gui::platform;
namespace text = gui::text;
namespace fonts = gui::fonts;
using call_frame::arg;
using call_frame::done;
using call_frame::done_logic;
using call_frame::done_unset;

Status done_with(const Cell& value) {
  *stack::base = value;
  return done();
}

Status done_none() { return done_with(make_cell(TYPE_NONE)); }

// Entries that can run language code again (an event raised while a window hides, shows or
// paints) work on copies of their arguments: the nested evaluation may reuse the stack slots.

Cell* append_tuple(Cell* blk, uint32_t rgb) {
  Cell v;
  tuple::make_rgba(&v, (rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF, -1);
  return block::append_cell(blk, &v);
}

// What start-up learnt, for the platform's init: version, build, product, dpi, the scroller
// size, the system font's name and size, and the text, window and panel colours.
Status gui_init(const int32_t*) {
  gui::init();
  const gui::PlatformInfo& info = gui::platform_info();
  Cell* blk = block::push_only(10);
  Cell v;
  uint8_t version[tuple::MAX_LENGTH] = {};
  for (int i = 0; i < 3; ++i) version[i] = static_cast<uint8_t>(info.version[i]);
  block::append_cell(blk, tuple::set(&v, 3, version));
  block::append_cell(blk, set_integer(&v, info.build));
  block::append_cell(blk, set_integer(&v, info.product));
  block::append_cell(blk, set_integer(&v, info.dpi));
  pair::make_at(set_none(&v), info.scroller[0], info.scroller[1]);
  block::append_cell(blk, &v);
  Cell* name = string::load_new(reinterpret_cast<const uint8_t*>(info.font_name.data()),
                                info.font_name.size(), string::ENCODING_UTF8);
  block::append_cell(blk, name);
  block::append_cell(blk, set_float(&v, info.font_size));
  append_tuple(blk, info.text_color);
  append_tuple(blk, info.window_color);
  append_tuple(blk, info.panel_color);
  return done_with(*blk);
}

Status make_null_handle(const int32_t*) { return done_with(gp::make_null_handle()); }

Status fetch_all_screens(const int32_t*) {
  Cell out = make_cell(TYPE_NONE);
  gp::fetch_all_screens(&out);
  return done_with(out);
}

Status get_current_screen(const int32_t*) { return done_with(gp::get_current_screen()); }

Status get_screen_size(const int32_t*) {
  return done_with(gp::get_screen_size(arg(0)->int_value()));
}

Status destroy_view(const int32_t*) {
  Cell face = *arg(0);
  gp::destroy_view(&face, is_true(arg(1)));
  return done_none();
}

Status refresh_window(const int32_t*) {
  Cell h = *arg(0);
  gp::refresh_window(&h);
  return done_unset();
}

Status redraw(const int32_t*) {
  Cell face = *arg(0);
  gp::redraw(&face);
  return done_unset();
}

Status show_window(const int32_t*) {
  Cell h = *arg(0);
  gp::show_window(&h);
  return done_none();
}

Status make_view(const int32_t*) {
  Cell face = *arg(0), parent = *arg(1);
  return done_with(gp::make_view(&face, &parent));
}

Status update_view(const int32_t*) {
  Cell faces = *arg(0);
  gp::update_view(&faces);
  return done_unset();
}

Status on_change_facet(const int32_t*) {
  Cell owner = *arg(0), word = *arg(1);
  gp::on_change_facet(&owner, &word);
  return done_unset();
}

Status draw_face(const int32_t*) {
  Cell face = *arg(0), commands = *arg(1);
  gui::draw_face(&face, &commands);
  return done_unset();
}

Status draw_image(const int32_t*) {
  Cell image = *arg(0), commands = *arg(1);
  gui::draw::draw_image(&image, &commands);
  return done_unset();
}

Status do_event_loop(const int32_t*) { return done_logic(gp::do_event_loop(is_true(arg(0)))); }

Status exit_event_loop(const int32_t*) {
  gp::exit_event_loop();
  return done_unset();
}

Status set_dark_mode(const int32_t*) {
  Cell face = *arg(0);
  gui::dark_mode::set(&face, is_true(arg(1)));
  return done_unset();
}

Status support_dark_mode(const int32_t*) { return done_logic(gp::support_dark_mode()); }

// Drawing has no second mode on this backend: nothing to switch.
Status toggle_gpu(const int32_t*) { return done_unset(); }

// Half the cursor flash period: the time the caret stays on or off; -1 when it does not blink.
Status caret_blink_time(const int32_t*) {
  int flash = QGuiApplication::styleHints()->cursorFlashTime();
  return call_frame::done_integer(flash > 0 ? flash / 2 : -1);
}

Status send_event_os(const int32_t*) {
  Cell evt = *arg(0);
  return done_logic(gui::send_event(&evt, is_true(arg(1))));
}

Status size_text(const int32_t*) {
  Cell face = *arg(0), value = *arg(1);
  return done_with(text::size_text(&face, &value));
}

Status text_box_metrics(const int32_t*) {
  Cell face = *arg(0), value = *arg(1);
  return done_with(text::metrics(&face, &value, arg(2)->int_value()));
}

Status update_font(const int32_t*) {
  Cell font = *arg(0);
  fonts::update_font(&font, arg(1)->int_value());
  return done_none();
}

// Faces lay their text out again when painted: the para bit asks for that paint.
Status update_para(const int32_t*) {
  Cell face = *arg(0);
  Cell* state = fonts::field(&face, "state");
  if (state && state->is(TYPE_BLOCK)) {
    SeriesBuffer* b = node_buffer(state->node());
    if (state->index() + 1 < b->count()) {
      Cell* bits = b->cells() + state->index() + 1;
      if (bits->is(TYPE_INTEGER)) set_integer(bits, bits->int_value() | (1 << gp::FACE_PARA));
    }
  }
  Cell* handles = fonts::field(&face, "handles");
  if (handles && handles->is(TYPE_BLOCK)) {
    SeriesBuffer* b = node_buffer(handles->node());
    if (handles->index() + 3 < b->count()) set_logic(b->cells() + handles->index() + 3, true);
  }
  return done_none();
}

Status update_scroller(const int32_t*) {
  Cell scroller = *arg(0);
  gui::scrollbars::update(&scroller, arg(1)->int_value());
  return done_none();
}

// The dialogs run a loop of their own: their arguments are copied first.
Status request_file(const int32_t*) {
  Cell title = *arg(0), name = *arg(1), filter = *arg(2);
  bool save = is_true(arg(3)), multi = is_true(arg(4));
  return done_with(gui::request_file(&title, &name, &filter, save, multi));
}

Status request_dir(const int32_t*) {
  Cell title = *arg(0), dir = *arg(1);
  bool keep = is_true(arg(3));
  return done_with(gui::request_dir(&title, &dir, keep));
}

Status request_font(const int32_t*) {
  Cell font = *arg(0), selected = *arg(1);
  return done_with(gui::request_font(&font, &selected, is_true(arg(2))));
}

Cell* field_of(const Cell* obj, const char* name) {
  if (!obj || !obj->is(TYPE_OBJECT)) return nullptr;
  Cell w = word::make(symbol::make(name));
  if (object::word_index(obj, &w) < 0) return nullptr;
  return object::word_value_cell(obj, &w);
}

}  // namespace

void install() {
  using namespace view_hooks;
  entries[GUI_INIT] = gui_init;
  entries[MAKE_NULL_HANDLE] = make_null_handle;
  entries[FETCH_ALL_SCREENS] = fetch_all_screens;
  entries[GET_CURRENT_SCREEN] = get_current_screen;
  entries[GET_SCREEN_SIZE] = get_screen_size;
  entries[DESTROY_VIEW] = destroy_view;
  entries[REFRESH_WINDOW] = refresh_window;
  entries[REDRAW] = redraw;
  entries[SHOW_WINDOW] = show_window;
  entries[MAKE_VIEW] = make_view;
  entries[DRAW_FACE] = draw_face;
  entries[DO_EVENT_LOOP] = do_event_loop;
  entries[EXIT_EVENT_LOOP] = exit_event_loop;
  entries[SET_DARK_MODE] = set_dark_mode;
  entries[SUPPORT_DARK_MODE] = support_dark_mode;
  entries[TOGGLE_GPU] = toggle_gpu;
  entries[SEND_EVENT_OS] = send_event_os;
  entries[UPDATE_VIEW] = update_view;
  entries[ON_CHANGE_FACET] = on_change_facet;
  entries[DRAW_IMAGE] = draw_image;
  entries[SIZE_TEXT] = size_text;
  entries[TEXT_BOX_METRICS] = text_box_metrics;
  entries[UPDATE_FONT] = update_font;
  entries[UPDATE_PARA] = update_para;
  entries[UPDATE_SCROLLER] = update_scroller;
  entries[REQUEST_FILE] = request_file;
  entries[REQUEST_DIR] = request_dir;
  entries[REQUEST_FONT] = request_font;
  face_to_image = gui::face_to_image;
  entries[GET_CARET_BLINK_TIME] = caret_blink_time;
  gui::clipboard::install();
  // `wait` ends with one pass of the loop: a face's timer and pending repaints run there.
  natives::gui_do_events = [] { gui::do_events(true); };
}

bool awake_function(Cell* out) {
  Cell* w = word::load("system");
  Cell* view = field_of(interp::word_value_cell(w), "view");
  Cell* awake = field_of(view, "awake");
  if (!awake || !interp::is_callable(awake->type())) return false;
  *out = *awake;
  return true;
}

}  // namespace tav::binding

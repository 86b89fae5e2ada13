// The routine registry: every routine the library binds at start-up, one row each (name,
// spec, return type, entry). Start-up finds a row by its name; a routine value keeps its
// row's index. A name that is a word is bound before the library's sources run; a path
// (system/state/GC/active?) is set once they have run and made the objects it goes through.
// A new routine is a row here and its entry in the file of its family.
#include "datatypes/routine.h"
#include "predicates.h"
#include "routines.h"

namespace {

using tav::routine::Row;
using tav::routine::RETURNS_NOTHING;
namespace pred = tav::routines::predicates;
namespace r = tav::routines;
using namespace tav;

#define TAV_EXACT(name, type)                                                              \
  {name, R"spec("Returns true if the value is this type" value [any-type!] return: [logic!])spec", \
   TYPE_LOGIC, &pred::exact<type>}
#define TAV_IN_TYPESET(name, set, word)                                                    \
  {name,                                                                                   \
   "\"Returns true if the value is any type of " set "\" value [any-type!] return: [logic!]", \
   TYPE_LOGIC, &pred::in_typeset<pred::word>}

}  // namespace

extern "C" {

extern const Row tav_routine_rows[];
extern const uint32_t tav_routine_count;

const Row tav_routine_rows[] = {
    {"quit-return", R"spec(
	"Stops evaluation and exits the program with a given status"
	status [integer!]
)spec", RETURNS_NOTHING, &r::quit_return},
    {"set-quiet", R"spec(
	"Set an object's field to a value without triggering eventual object's events"
	word [any-type!]
	value [any-type!]
	return: [any-type!]
)spec", RETURNS_NOTHING, &r::set_quiet},
    {"set-slot-quiet", R"spec(
	"Set a value in series without triggering eventual owner's events"
	series [any-type!]
	value [any-type!]
)spec", RETURNS_NOTHING, &r::set_slot_quiet},
    {"shift-right", R"spec(
	"Shift bits to the right"
	data [integer!]
	bits [integer!]
)spec", RETURNS_NOTHING, &r::shift_right},
    {"shift-left", R"spec(
	"Shift bits to the left"
	data [integer!]
	bits [integer!]
)spec", RETURNS_NOTHING, &r::shift_left},
    {"shift-logical", R"spec(
	"Shift bits to the right (unsigned)"
	data [integer!]
	bits [integer!]
)spec", RETURNS_NOTHING, &r::shift_logical},
    {"last-lf?", R"spec(
	"Internal Use Only"
)spec", RETURNS_NOTHING, &r::last_lf_q},
    {"get-current-dir", R"spec(
	"Returns the platform's current directory for the process"
)spec", RETURNS_NOTHING, &r::get_current_dir},
    {"set-current-dir", R"spec(
	"Sets the platform's current process directory"
	path [file!]
)spec", RETURNS_NOTHING, &r::set_current_dir},
    {"create-dir", R"spec(
	"Create the given directory"
	path [file!]
)spec", RETURNS_NOTHING, &r::create_dir},
    {"exists?", R"spec(
	"Returns TRUE if the file exists"
	path [file!]
	return: [logic!]
)spec", TYPE_LOGIC, &r::exists_q},
    {"os-info", R"spec(
	"Returns detailed operating system version information"
)spec", RETURNS_NOTHING, &r::os_info},
    {"as-color", R"spec(
	"Combine R, G and B values into a tuple"
	r [integer!]
	g [integer!]
	b [integer!]
)spec", RETURNS_NOTHING, &r::as_color},
    {"as-ipv4", R"spec(
	"Combine a, b, c and d values into a tuple"
	a [integer!]
	b [integer!]
	c [integer!]
	d [integer!]
)spec", RETURNS_NOTHING, &r::as_ipv4},
    {"as-rgba", R"spec(
	"Combine R, G, B and A color components into a tuple"
	r [integer!]
	g [integer!]
	b [integer!]
	a [integer!]
)spec", RETURNS_NOTHING, &r::as_rgba},
    {"count-chars", R"spec(
	"Count UTF-8 encoded characters between two positions in a binary series"
	start [binary!]
	pos [binary!]
	return: [integer!]
)spec", TYPE_INTEGER, &r::count_chars},
    {"stack-size?", R"spec(
	return: [integer!]
)spec", TYPE_INTEGER, &r::stack_size_q},
    {"pick-stack", R"spec(
	idx [integer!]
)spec", RETURNS_NOTHING, &r::pick_stack},
    {"frame-index?", R"spec(
	return: [integer!]
)spec", TYPE_INTEGER, &r::frame_index_q},
    {"collect-calls", R"spec(
	blk [block!]
)spec", RETURNS_NOTHING, &r::collect_calls},
    {"tracing?", "", RETURNS_NOTHING, &r::tracing_q},
    {"set-tracing", R"spec(
	"Switch the tracing of the running do/trace evaluation on or off"
	on? [logic!]
)spec", RETURNS_NOTHING, &r::set_tracing},
    {"read-stdin-line", R"spec(
	"Read a line from STDIN; none at the end of the input"
	return: [string! none!]
)spec", RETURNS_NOTHING, &r::read_stdin_line},
    {"read-clipboard", R"spec(
	"Return the contents of the system clipboard"
	return: [any-type!] "false on failure, none if empty, otherwise: string!, block! of files!, or an image!"
)spec", RETURNS_NOTHING, &r::read_clipboard},
    {"write-clipboard", R"spec(
	"Write content to the system clipboard"
	data [any-type!] "string!, block! of files!, an image! or none!"
	return: [logic!] "indicates success"
)spec", TYPE_LOGIC, &r::write_clipboard},
    {"write-stdout", R"spec(
	"Write data to STDOUT"
	data [any-type!]
)spec", RETURNS_NOTHING, &r::write_stdout},
    {"set-callback-bits", R"spec(
	"Internal Use Only"
	bits [integer!]
)spec", RETURNS_NOTHING, &r::set_callback_bits},
    {"set-float-modes", R"spec(
	"Internal Use Only"
	pretty? [logic!]
	full? [logic!]
)spec", RETURNS_NOTHING, &r::set_float_modes},
    {"currency-list", R"spec(
	"Internal Use Only"
)spec", RETURNS_NOTHING, &r::currency_list},
    {"add-currency", R"spec(
	"Internal Use Only"
	code [word!]
	return: [logic!]
)spec", TYPE_LOGIC, &r::add_currency},
    {"command-line", R"spec(
	"Internal Use Only"
)spec", RETURNS_NOTHING, &r::command_line},
    {"unescape", R"spec(
	str [string!]
	return: [string!]
)spec", TYPE_STRING, &r::unescape},

    {"system/codecs/png/encode", R"spec(
	img [image!]
	where [any-type!]
)spec", RETURNS_NOTHING, &r::encode_png},
    {"system/codecs/png/decode", R"spec(
	data [any-type!]
)spec", RETURNS_NOTHING, &r::decode_image},
    {"system/codecs/jpeg/encode", R"spec(
	img [image!]
	where [any-type!]
)spec", RETURNS_NOTHING, &r::encode_jpeg},
    {"system/codecs/jpeg/decode", R"spec(
	data [any-type!]
)spec", RETURNS_NOTHING, &r::decode_image},
    {"system/codecs/bmp/encode", R"spec(
	img [image!]
	where [any-type!]
)spec", RETURNS_NOTHING, &r::encode_bmp},
    {"system/codecs/bmp/decode", R"spec(
	data [any-type!]
)spec", RETURNS_NOTHING, &r::decode_image},
    {"system/codecs/gif/encode", R"spec(
	img [image!]
	where [any-type!]
)spec", RETURNS_NOTHING, &r::encode_gif},
    {"system/codecs/gif/decode", R"spec(
	data [any-type!]
)spec", RETURNS_NOTHING, &r::decode_image},
    {"system/codecs/tiff/encode", R"spec(
	img [image!]
	where [any-type!]
)spec", RETURNS_NOTHING, &r::encode_tiff},
    {"system/codecs/tiff/decode", R"spec(
	data [any-type!]
)spec", RETURNS_NOTHING, &r::decode_image},
    {"global-context", R"spec(
	"Internal Use Only"
)spec", RETURNS_NOTHING, &r::global_context},
    {"error-catalogue", R"spec(
	"Internal Use Only"
)spec", RETURNS_NOTHING, &r::error_catalogue_object},

    TAV_EXACT("bitset?", TYPE_BITSET),
    TAV_EXACT("binary?", TYPE_BINARY),
    TAV_EXACT("block?", TYPE_BLOCK),
    TAV_EXACT("char?", TYPE_CHAR),
    TAV_EXACT("email?", TYPE_EMAIL),
    TAV_EXACT("file?", TYPE_FILE),
    TAV_EXACT("float?", TYPE_FLOAT),
    TAV_EXACT("get-path?", TYPE_GET_PATH),
    TAV_EXACT("get-word?", TYPE_GET_WORD),
    TAV_EXACT("hash?", TYPE_HASH),
    TAV_EXACT("integer?", TYPE_INTEGER),
    TAV_EXACT("issue?", TYPE_ISSUE),
    TAV_EXACT("lit-path?", TYPE_LIT_PATH),
    TAV_EXACT("lit-word?", TYPE_LIT_WORD),
    TAV_EXACT("logic?", TYPE_LOGIC),
    TAV_EXACT("map?", TYPE_MAP),
    TAV_EXACT("none?", TYPE_NONE),
    TAV_EXACT("pair?", TYPE_PAIR),
    TAV_EXACT("paren?", TYPE_PAREN),
    TAV_EXACT("path?", TYPE_PATH),
    TAV_EXACT("percent?", TYPE_PERCENT),
    TAV_EXACT("refinement?", TYPE_REFINEMENT),
    TAV_EXACT("set-path?", TYPE_SET_PATH),
    TAV_EXACT("set-word?", TYPE_SET_WORD),
    TAV_EXACT("string?", TYPE_STRING),
    TAV_EXACT("tag?", TYPE_TAG),
    TAV_EXACT("time?", TYPE_TIME),
    TAV_EXACT("typeset?", TYPE_TYPESET),
    TAV_EXACT("tuple?", TYPE_TUPLE),
    TAV_EXACT("unset?", TYPE_UNSET),
    TAV_EXACT("url?", TYPE_URL),
    TAV_EXACT("word?", TYPE_WORD),
    TAV_EXACT("image?", TYPE_IMAGE),
    TAV_EXACT("date?", TYPE_DATE),
    TAV_EXACT("money?", TYPE_MONEY),
    TAV_EXACT("ref?", TYPE_REF),
    TAV_EXACT("point2D?", TYPE_POINT2D),
    TAV_EXACT("point3D?", TYPE_POINT3D),
    TAV_EXACT("handle?", TYPE_HANDLE),
    TAV_EXACT("error?", TYPE_ERROR),
    TAV_EXACT("action?", TYPE_ACTION),
    TAV_EXACT("native?", TYPE_NATIVE),
    TAV_EXACT("datatype?", TYPE_DATATYPE),
    TAV_EXACT("function?", TYPE_FUNCTION),
    TAV_EXACT("object?", TYPE_OBJECT),
    TAV_EXACT("op?", TYPE_OP),
    TAV_EXACT("routine?", TYPE_ROUTINE),
    TAV_EXACT("vector?", TYPE_VECTOR),

    TAV_IN_TYPESET("any-list?", "any-list", ANY_LIST),
    TAV_IN_TYPESET("any-block?", "any-block", ANY_BLOCK),
    TAV_IN_TYPESET("any-function?", "any-function", ANY_FUNCTION),
    TAV_IN_TYPESET("any-object?", "any-object", ANY_OBJECT),
    TAV_IN_TYPESET("any-path?", "any-path", ANY_PATH),
    TAV_IN_TYPESET("any-string?", "any-string", ANY_STRING),
    TAV_IN_TYPESET("any-word?", "any-word", ANY_WORD),
    TAV_IN_TYPESET("series?", "series", SERIES),
    TAV_IN_TYPESET("number?", "number", NUMBER),
    TAV_IN_TYPESET("immediate?", "immediate", IMMEDIATE),
    TAV_IN_TYPESET("scalar?", "scalar", SCALAR),
    TAV_IN_TYPESET("all-word?", "all-word", ALL_WORD),
    TAV_IN_TYPESET("any-point?", "any-point", ANY_POINT),
    TAV_IN_TYPESET("planar?", "planar", PLANAR),

    {"system/state/GC/active?", "return: [logic!]", TYPE_LOGIC, &r::gc_active_q},
    {"system/state/GC/series-cycles", "return: [integer!]", TYPE_INTEGER, &r::gc_series_cycles},
    {"system/state/GC/nodes-cycles", "return: [integer!]", TYPE_INTEGER, &r::gc_nodes_cycles},

    {"system/codecs/tavbin/encode*", R"spec(
	data [any-type!]
	compact? [logic!]
)spec", RETURNS_NOTHING, &r::tavbin_encode_star},
    {"system/codecs/tavbin/decode", R"spec(
	payload [any-type!]
)spec", RETURNS_NOTHING, &r::tavbin_decode},
    // Events and the view layer. The system/view rows go only into the GUI program's image;
    // headless, the entries find no hook and raise "feature not available".
    TAV_EXACT("event?", TYPE_EVENT),
    {"find-flag?", R"spec(
	facet [any-type!]
	flag [word!]
	return: [logic!]
)spec", TYPE_LOGIC, &r::find_flag_q},
    {"send-event-os", R"spec(
	event [event!]
	queued? [logic!]
	return: [logic!]
)spec", TYPE_LOGIC, &r::view_entry<view_hooks::SEND_EVENT_OS>},
    {"gui-init", R"spec(
	"Internal Use Only"
)spec", RETURNS_NOTHING, &r::view_entry<view_hooks::GUI_INIT>},
    {"system/view/platform/make-null-handle", "", RETURNS_NOTHING,
     &r::view_entry<view_hooks::MAKE_NULL_HANDLE>},
    {"system/view/platform/fetch-all-screens", "", RETURNS_NOTHING,
     &r::view_entry<view_hooks::FETCH_ALL_SCREENS>},
    {"system/view/platform/get-current-screen", "", RETURNS_NOTHING,
     &r::view_entry<view_hooks::GET_CURRENT_SCREEN>},
    {"system/view/platform/get-screen-size", "id [integer!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::GET_SCREEN_SIZE>},
    {"system/view/platform/destroy-view", "face [object!] empty? [logic!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::DESTROY_VIEW>},
    {"system/view/platform/refresh-window", "h [handle!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::REFRESH_WINDOW>},
    {"system/view/platform/redraw", "face [object!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::REDRAW>},
    {"system/view/platform/show-window", "id [handle!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::SHOW_WINDOW>},
    {"system/view/platform/make-view", "face [object!] parent [handle!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::MAKE_VIEW>},
    {"system/view/platform/draw-face", "face [object!] cmds [block!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::DRAW_FACE>},
    {"system/view/platform/do-event-loop", "no-wait? [logic!] return: [logic!]", TYPE_LOGIC,
     &r::view_entry<view_hooks::DO_EVENT_LOOP>},
    {"system/view/platform/exit-event-loop", "", RETURNS_NOTHING,
     &r::view_entry<view_hooks::EXIT_EVENT_LOOP>},
    {"system/view/platform/set-dark-mode", "face [object!] dark? [logic!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::SET_DARK_MODE>},
    {"system/view/platform/support-dark-mode?", "return: [logic!]", TYPE_LOGIC,
     &r::view_entry<view_hooks::SUPPORT_DARK_MODE>},
    {"system/view/platform/toggle-GPU", "", RETURNS_NOTHING,
     &r::view_entry<view_hooks::TOGGLE_GPU>},
    {"system/view/platform/update-view", "face [object! block!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::UPDATE_VIEW>},
    {"system/view/platform/on-change-facet",
     "owner [object!] word [word!] target action [word!] new index [integer!] part [integer!]",
     RETURNS_NOTHING, &r::view_entry<view_hooks::ON_CHANGE_FACET>},
    {"system/view/platform/draw-image", "image [image!] cmds [block!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::DRAW_IMAGE>},
    {"system/view/platform/size-text", "face [object!] value", RETURNS_NOTHING,
     &r::view_entry<view_hooks::SIZE_TEXT>},
    {"system/view/platform/text-box-metrics", "box [object!] arg0 type [integer!]",
     RETURNS_NOTHING, &r::view_entry<view_hooks::TEXT_BOX_METRICS>},
    {"system/view/platform/update-font", "font [object!] flags [integer!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::UPDATE_FONT>},
    {"system/view/platform/update-para", "face [object!] flags [integer!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::UPDATE_PARA>},
    {"system/view/platform/update-scroller", "scroller [object!] flags [integer!]",
     RETURNS_NOTHING, &r::view_entry<view_hooks::UPDATE_SCROLLER>},
    // The GUI console's print hooks and the caret blink time it reads at start-up.
    {"add-gui-print", "", RETURNS_NOTHING, &r::add_gui_print},
    {"get-caret-blink-time", "return: [integer!]", TYPE_INTEGER,
     &r::view_entry<view_hooks::GET_CARET_BLINK_TIME>},
    {"write-file-atomic", R"spec(
	"Write a text to a file through a temporary file renamed over it; false on failure"
	file [file!]
	text [string!]
	return: [logic!]
)spec", TYPE_LOGIC, &r::write_file_atomic},
    {"write-stderr", R"spec(
	"Write a text to STDERR"
	text [string!]
)spec", RETURNS_NOTHING, &r::write_stderr},
    {"system/view/platform/request-file",
     "title name filter save? [logic!] multi? [logic!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::REQUEST_FILE>},
    {"system/view/platform/request-dir",
     "title dir filter keep? [logic!] multi? [logic!]", RETURNS_NOTHING,
     &r::view_entry<view_hooks::REQUEST_DIR>},
    {"system/view/platform/request-font", "font [object!] selected mono? [logic!]",
     RETURNS_NOTHING, &r::view_entry<view_hooks::REQUEST_FONT>},
};

const uint32_t tav_routine_count = sizeof tav_routine_rows / sizeof tav_routine_rows[0];

}  // extern "C"

// The C++ routines the library binds at start-up, by family. Each entry reads its arguments
// at stack::base, as natives do, and leaves its result there.
#pragma once
#include <cstdint>

#include "core/call_frame.h"
#include "core/cell.h"
#include "core/stack.h"
#include "services/view_hooks.h"

namespace tav::routines {

using call_frame::arg;
using call_frame::done;
using call_frame::done_integer;
using call_frame::done_logic;
using call_frame::done_unset;

// process.cpp: ending the process.
Status quit_return(const int32_t*);

// quiet.cpp: setters that fire no change events.
Status set_quiet(const int32_t*);
Status set_slot_quiet(const int32_t*);

// numbers.cpp: bit shifts, colour and address tuples.
Status shift_right(const int32_t*);
Status shift_left(const int32_t*);
Status shift_logical(const int32_t*);
Status as_color(const int32_t*);
Status as_ipv4(const int32_t*);
Status as_rgba(const int32_t*);

// files.cpp: the process's directory, folders, existence, standard output.
Status last_lf_q(const int32_t*);
Status get_current_dir(const int32_t*);
Status set_current_dir(const int32_t*);
Status create_dir(const int32_t*);
Status exists_q(const int32_t*);
Status write_stdout(const int32_t*);
Status os_info(const int32_t*);

// text.cpp
Status count_chars(const int32_t*);

// json.cpp: the JSON decoder's escapes.
Status unescape(const int32_t*);

// debugging.cpp: the argument stack and the calls, for the debugging tools.
Status stack_size_q(const int32_t*);
Status pick_stack(const int32_t*);
Status frame_index_q(const int32_t*);
Status collect_calls(const int32_t*);
Status tracing_q(const int32_t*);
Status set_tracing(const int32_t*);
Status read_stdin_line(const int32_t*);

// clipboard.cpp
Status read_clipboard(const int32_t*);
Status write_clipboard(const int32_t*);

// collector.cpp: the collector's state.
Status gc_active_q(const int32_t*);
Status gc_series_cycles(const int32_t*);
Status gc_nodes_cycles(const int32_t*);

// codecs.cpp: the Tavbin codec's routines.
Status tavbin_encode_star(const int32_t*);
Status tavbin_decode(const int32_t*);

// system.cpp: the runtime switches and lists behind the system object's fields.
Status set_callback_bits(const int32_t*);
Status set_float_modes(const int32_t*);
Status currency_list(const int32_t*);
Status add_currency(const int32_t*);
Status command_line(const int32_t*);
Status global_context(const int32_t*);
Status error_catalogue_object(const int32_t*);

// image_codecs.cpp: the image codec objects' encode (one a format) and decode.
Status encode_png(const int32_t*);
Status encode_jpeg(const int32_t*);
Status encode_bmp(const int32_t*);
Status encode_gif(const int32_t*);
Status encode_tiff(const int32_t*);
Status decode_image(const int32_t*);
// view.cpp: the event routines; the view layer's entries, through the hooks its program
// installs (none in a headless program).
Status find_flag_q(const int32_t*);
// console.cpp: the GUI console's print hooks.
Status add_gui_print(const int32_t*);

// console_files.cpp: the settings file written whole, messages on the error stream.
Status write_file_atomic(const int32_t*);
Status write_stderr(const int32_t*);
template <view_hooks::Entry E>
Status view_entry(const int32_t* refs) {
  return view_hooks::call(E, refs);
}

}  // namespace tav::routines

// Every piece of mutable state the runtime keeps, in one list, and the one reset that puts
// back what running code changes. Each module keeps its state next to the code that uses it
// (the hot paths read it directly, with no indirection); this file is where a reader finds all
// of it, what sets it up and what puts it back. The evaluator keeps its switches in one record
// (evaluator/switches.h).
//
// Start-up: runtime::init runs each module's initialiser in the order of runtime.cpp and
// leaves every item below in its start-up state; run_boot_code then fills the global
// context and turns automatic collection on.
//
// Reset: state::keep() remembers the items marked [put back] below as they stand (the
// caller keeps a state it calls clean, such as the one start-up leaves); state::put_back()
// restores them. The runtime itself is
// started once per process: runtime::cleanup releases the frames (memory, node_table stays
// reserved) and compiled bodies, but the tables filled by registration (type_table,
// action_table, natives, symbols) are not emptied. The unit tests, which share one runtime,
// keep the state once the boot code has run and put it back after every test
// (tests/unit/test_guard.cpp). What is not marked stays as a test leaves it: a test that
// changes it puts it back itself.
//
// Set once at start-up and read-only afterwards:
//   core/types            type_table, highest_type_id
//   core/symbols, words   symbol::store_node, index_node; the symbols::, words::,
//                         refinements:: and issues:: ids
//   core/case_folding     casefold lower_direct, upper_direct
//   core/error_catalogue  the built catalogue table
//   core/cell             none_value, unset_value, true_value, false_value
//   evaluator/actions     action_table, actions::table
//   evaluator/natives     the natives table, NAMES positions, checksum and compression words
//   evaluator/fast_paths  action_infix, native_infix
//   scanner/lexer         scan_handlers, load_handlers
//   runtime               root_node, boot_root_index, argc, argv; boot::image_loaded
//   platform/fatal        thread_stack_ready (per thread)
//
// Changed while the runtime runs:
//   core/memory           memory (frames, counters), node_table, node_frames_made,
//                         released_frame_ids, tracked_heap
//   core/collector        enabled [put back], pending, collecting, last, cycles, mark_stack,
//                         marked_heap, markers, marker_fill, release_batch
//   core/stack            begin, end, base, top, frames_begin, frames_end (both ends move
//                         into the lent room while a tracer runs), frames_top, eval_depth,
//                         position_cell, saved_throw_frame, uncaught_handler [put back:
//                         base, top, frames_top, eval_depth, the position and the cycle
//                         guard's depth]
//   core/cycles           stack, top (the cycle guard of mold, equal? and copy)
//   core/context          global (grows as words are added) [put back: the values of the
//                         words it held; words added since are unset]
//   core/handles          entries, entry_capacity, free_head, used_head, kinds, kind_count,
//                         slot_block, slot_free_head
//   core/ownership        table
//   core/output           hook_lists print_list, output_list
//   core/errors           creating, field_names, emergency_fields
//   system/state/stack-trace (a field of the system object) [put back: 1]
//   datatypes/object      evaluator, handler_call, function_maker [put back],
//                         class_counter, shared_none
//   datatypes/map         absent_value
//   datatypes/float       full_support, pretty_print
//   datatypes/money       currencies, currencies_used, form_digits
//   core/random           generator [put back: seeded with its start seed]
//   evaluator/switches    fast_tiers, tiers, trace_active, trace_installed, trace_mask,
//                         callback_bits, in_tracer [put back: the tracer removed, tracing
//                         off, tiers as kept]
//   evaluator/trace       tracer_cell, event_symbols; interp tracer_cell
//   evaluator/compiled    registry, edits, program serials
//   evaluator/natives     counter, last_line_feed, pending_entries, work_node, work_index,
//                         gui_do_events
//   evaluator/parse       keywords, keyword_by_symbol, rule_root, series_root
//   scanner/lexer         value_stack, chain_head, chain_tail, last_error, utf8_buffer,
//                         utf8_top, scratch_bytes, scratch_chars
//   scanner/tavbin        codec_mode
//   services/process      detached, handler_installed
//   services/compression  the zstd entry points, looked up on first use
//   platform/console      console_mode, sink, out_buffer, pending, current_attributes,
//                         reset_attributes
//   runtime               collecting_words; boot::text_manifest
#pragma once

namespace tav::state {

// Remembers the items marked [put back] as they stand now.
void keep();
// Puts back what keep() remembered; nothing before the first keep(). Call it where no code
// runs (between tests): it cuts the stacks back and removes any tracer.
void put_back();

}  // namespace tav::state

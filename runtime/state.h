// Every piece of mutable state the runtime keeps, in one list. Each module keeps its own
// next to the code that uses it (the hot paths read it directly, with no indirection); this
// file is where a reader finds all of it, what sets it up and how it goes back.
//
// Start-up: runtime::init runs each module's initialiser in the order of runtime.cpp and
// leaves every item below in its start-up state; run_boot_code then fills the global
// context and turns automatic collection on.
//
// Reset: there is none within a process. runtime::cleanup releases the frames (memory,
// node_table stays reserved) and compiled bodies, but the tables filled by registration
// (type_table, action_table, natives, symbols) are not emptied, so a runtime is started once
// per process. What a caller changes after start-up it puts back itself: the unit tests,
// which share one runtime, put the stacks and the collector switch back after every test
// (tests/unit/test_guard.cpp) and restore any word they redefine.
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
//   core/collector        enabled, pending, collecting, last, cycles, mark_stack,
//                         marked_heap, markers, marker_fill, release_batch
//   core/stack            begin, end, base, top, frames_begin, frames_end, frames_top,
//                         eval_depth, position_cell, saved_throw_frame, uncaught_handler
//   core/cycles           stack, top (the cycle guard of mold, equal? and copy)
//   core/context          global (grows as words are added)
//   core/handles          entries, entry_capacity, free_head, used_head, kinds, kind_count,
//                         slot_block, slot_free_head
//   core/ownership        table
//   core/output           hook_lists print_list, output_list
//   core/errors           creating, field_names, emergency_fields
//   datatypes/object      evaluator, handler_call, function_maker, class_counter, shared_none
//   datatypes/map         absent_value
//   datatypes/float       full_support, pretty_print
//   datatypes/money       currencies, currencies_used, form_digits
//   evaluator/random      generator
//   evaluator/trace       active, installed, mask, callback_bits, in_tracer, tracer_cell,
//                         event_symbols; interp tracer_cell
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

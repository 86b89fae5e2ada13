// The natives table: 120 slots, natives in their fixed order (position k holds native k),
// the order of core/native_list.h.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "calls.h"
#include "core/native_list.h"

namespace tav::natives {

constexpr uint32_t TABLE_SIZE = 120;

// The entry at a 0-based table index (null for a native not built yet or a free slot).
NativeEntry entry(uint32_t index);
// 1-based position of a native by name, 0 when there is none.
uint32_t position_of(std::string_view name);
std::string_view name_of(uint32_t position);
// The next free position (108 once the table is filled).
uint32_t next_position();
// Puts an entry in the next free position past the fixed natives and answers that position
// (0 when the table is full). For layers above the runtime that add natives at start-up.
uint32_t append(NativeEntry e);
// The line-feed flag of the last print (true) or prin (false).
bool last_line_feed();
// Above a loop native's arguments: a frame break and continue find; its base is the loop's
// result slot.
void push_loop_frame();
// A loop count: a float! is cut toward zero and held within the 32-bit range (NaN: 0).
int32_t loop_count(const Cell* v);
// Comparison op code (0-6) of the comparison native at a 0-based index, else -1.
int comparison_code(uint32_t index);

// Start-up: stores a native's entry at its fixed position (core/native_list.h). Each group
// of natives registers its own entries from its register function, called by the natives
// table's initialiser.
void put(NativeId id, NativeEntry e);
void register_control();      // loops, conditionals, switch, case
void register_evaluation();   // reduce, compose, get, set, bind, try, catch, apply ...
void register_math();         // comparison and math natives
void register_series_text();  // set operations, text conversion, parse entry
void register_system();       // output and system natives

namespace system_natives {
// Appends text that should be UTF-8 (the environment, the command line) to a string; each
// byte of a bad sequence becomes U+FFFD.
void append_lenient_utf8(NodeId out, const std::string& text);
}  // namespace system_natives

}  // namespace tav::natives

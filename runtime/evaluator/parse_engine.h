// The parse engine's internals shared by its source files: the registers of one run, the
// frames on the rule stack, and the matching of single values.
//
// Frames on the rule stack are three cells each, newest at the tail:
//   block frame:   none! | triple (cursor, input index, remaining) | enclosing rule block
//   command frame: parameter | triple (rule position, input index, remaining) | pair (code, extra)
// The parameter is the target word for copy and set, the kept-into series for collect
// into/after, the collect block for other collects, else a triple (minimum, maximum, pass).
// Triples and pairs serve as three (two) raw 32-bit slots here. Rule positions are cell
// indexes from the head of the rule block's buffer.
#pragma once
#include <cstdint>
#include <vector>

#include "core/cell.h"
#include "core/memory.h"
#include "evaluator/parse.h"

namespace tav::parse_detail {

enum State : uint8_t {
  ST_ENTER, ST_LEAVE, ST_PUSH_COMMAND, ST_FINISH_COMMAND, ST_AFTER_RULE, ST_DISPATCH,
  ST_SKIP_ONE, ST_FETCH, ST_MATCH_VALUE, ST_GOVERNED, ST_FAIL_BLOCK, ST_KEYWORD, ST_FINISH,
  ST_STOP,
};

enum Command : int32_t {
  CMD_NONE = 0, CMD_REPEAT = -1, CMD_TO = -2, CMD_THRU = -3, CMD_COPY = -4, CMD_SET = -5,
  CMD_NOT = -6, CMD_INTO = -7, CMD_REMOVE = -9, CMD_WHILE = -11, CMD_COLLECT = -12,
  CMD_KEEP = -13, CMD_KEEP_PAREN = -14, CMD_AHEAD = -16, CMD_CHANGE = -17,
  CMD_CHANGE_ONLY = -18, CMD_CASE = -19,
};

// Collect modes, kept as the extra flag of a collect frame.
enum CollectMode : int32_t { COLLECT_PLAIN = 0, COLLECT_SET = 1, COLLECT_INTO = 2, COLLECT_AFTER = 3 };

// Keyword numbers, found from a word's canonical symbol.
enum Keyword : uint8_t {
  KW_NONE_, KW_BAR, KW_SKIP, KW_ANY, KW_SOME, KW_COPY, KW_TO, KW_THRU, KW_END, KW_REMOVE,
  KW_BREAK, KW_OPT, KW_KEEP, KW_PICK, KW_FAIL, KW_AHEAD, KW_WHILE, KW_INTO, KW_INSERT, KW_ONLY,
  KW_CHANGE, KW_IF, KW_NOT, KW_QUOTE, KW_COLLECT, KW_AFTER, KW_SET, KW_CASE, KW_REJECT, KW_NONE,
};

struct Engine {
  Cell input;          // the input being matched; its index is the input position
  Cell rules;          // the current rule block
  int32_t cursor;      // position of the current rule (head - 1 before the first)
  Cell value;          // the rule value being dispatched (a rule variable's value)
  bool value_from_word;
  // The command being prepared.
  int32_t cmd_code, cmd_min, cmd_max, cmd_extra;
  Cell cmd_param;
  bool match;
  bool brk;            // a break or reject is on its way to the enclosing repetition
  bool reached_end;    // the block just left was run to its end
  bool stopped;        // the trace callback asked to stop
  bool top_cmd;        // the newest frame of this run is a command frame
  int comp;            // COMP_EQUAL or COMP_STRICT_EQUAL
  int32_t limit;       // part limit on the top-level input, -1 for none
  uint32_t series_base;  // head indexes of this run's view of the work stacks
  uint32_t rule_base;
  uint32_t result_index;   // argument-stack cell holding the result (rooted)
  bool collected;          // a top-level collect made the result
  bool nested;             // started while another run was active
  const parse::TraceHook* hook;
};

// ---- Work stacks ---------------------------------------------------------------------------

namespace engine_state {
extern Cell* series_root;
extern Cell* rule_root;
}  // namespace engine_state

inline Cell* series_stack_cell() { return engine_state::series_root; }
inline Cell* rule_stack_cell() { return engine_state::rule_root; }
// Both stacks hold cells: their lengths need no unit size.
inline uint32_t stack_tail(const Cell* stack_cell) {
  return cell_buffer(stack_cell)->used() / static_cast<uint32_t>(sizeof(Cell));
}
// Cells on the rule stack (absolute index).
inline uint32_t rule_tail(const Engine&) { return stack_tail(rule_stack_cell()); }
// Cell k (0-2) of the frame at that index.
inline Cell* frame_cell(uint32_t frame_start, int k) {
  return cell_buffer(rule_stack_cell())->cells() + frame_start + static_cast<uint32_t>(k);
}
// Index of the newest frame's first cell.
inline uint32_t top_frame(const Engine& e) { return rule_tail(e) - 3; }
inline bool frame_is_command(uint32_t frame_start) {
  return !frame_cell(frame_start, 0)->is(TYPE_NONE);
}
inline uint32_t frame_count(const Engine& e) { return (rule_tail(e) - e.rule_base) / 3; }
void push_frame(Engine& e, const Cell* c1, const Cell* c2, const Cell* c3);
void pop_frame(Engine& e);
void push_series(Engine& e, const Cell* series);
void pop_series(Engine& e);
inline uint32_t series_depth(const Engine& e) {
  return stack_tail(series_stack_cell()) - e.series_base;
}
// Writes the current input (with its index) into the newest series-stack entry.
void sync_input(Engine& e);

// Clears this run's stacks and raises the error (always after the reset).
[[noreturn]] void raise(Engine& e, const char* id, const Cell* arg1 = nullptr);
// Clears this run's stacks, gives an outer run its view back, and marks the run as reset.
void reset_stacks(Engine& e);
constexpr uint32_t RESET_DONE = 0xFFFFFFFFu;

inline Cell triple(int32_t a, int32_t b, int32_t c) {
  return make_cell(TYPE_TRIPLE, static_cast<uint32_t>(a), static_cast<uint32_t>(b),
                   static_cast<uint32_t>(c));
}
inline int32_t slot(const Cell* c, int i) {
  return static_cast<int32_t>(i == 0 ? c->data1 : (i == 1 ? c->data2 : c->data3));
}
inline void set_slot(Cell* c, int i, int32_t v) {
  (i == 0 ? c->data1 : (i == 1 ? c->data2 : c->data3)) = static_cast<uint32_t>(v);
}

// ---- Input ----------------------------------------------------------------------------------

inline int32_t input_index(const Engine& e) { return static_cast<int32_t>(e.input.data1); }
inline void set_input_index(Engine& e, int32_t i) { e.input.data1 = static_cast<uint32_t>(i); }
// Units in the input's whole buffer.
inline int32_t input_length(const Engine& e) {
  SeriesBuffer* b = cell_buffer(&e.input);
  uint32_t u = b->unit();
  return static_cast<int32_t>(u == 1 ? b->used() : b->used() / u);
}
// Where matching stops: the tail, or the part limit on the top-level input.
inline int32_t input_end(const Engine& e) {
  int32_t len = input_length(e);
  if (e.limit >= 0 && e.limit < len && series_depth(e) == 1) return e.limit;
  return len;
}
inline bool at_end(const Engine& e) { return input_index(e) >= input_end(e); }
// The unit at a position as a value: the cell, the character as char!, the byte as integer!;
// none! at or past the input's present tail.
Cell unit_value(const Engine& e, int32_t i);

// ---- Rules ----------------------------------------------------------------------------------

// Rule blocks hold cells.
inline int32_t rules_tail(const Engine& e) {
  return static_cast<int32_t>(cell_buffer(&e.rules)->used() / sizeof(Cell));
}
// Null at or past the tail.
inline Cell* rule_at(const Engine& e, int32_t pos) {
  SeriesBuffer* b = cell_buffer(&e.rules);
  if (pos < 0 || static_cast<uint32_t>(pos) >= b->used() / sizeof(Cell)) return nullptr;
  return b->cells() + pos;
}
// Keyword of a word, by its symbol (the canonical symbol's keyword, found once per symbol).
Keyword find_keyword(uint32_t symbol);
namespace engine_state {
extern std::vector<uint8_t> keyword_by_symbol;   // KW_UNKNOWN until looked up
}  // namespace engine_state
constexpr uint8_t KW_UNKNOWN = 0xFF;
inline Keyword keyword_of(const Cell* word) {
  uint32_t sym = word->data2;
  const auto& k = engine_state::keyword_by_symbol;
  if (sym < k.size() && k[sym] != KW_UNKNOWN) return static_cast<Keyword>(k[sym]);
  return find_keyword(sym);
}
// The value of a rule word; a word without a value raises parse-rule.
Cell word_value(Engine& e, const Cell* word);
void set_word(const Cell* word, const Cell* value);
// Evaluates a paren; answers its value (unset when dropped).
Cell eval_paren(Engine& e, const Cell* paren);
// Tells the trace callback; false when it asks to stop.
bool fire_hook(Engine& e, const Cell* event_word);
inline bool fire(Engine& e, const Cell* event_word) {
  return e.hook ? fire_hook(e, event_word) : true;
}

// ---- Matching -------------------------------------------------------------------------------

// Units the value matches at position pos of the input, or -1 (also at the end).
int32_t match_at(const Engine& e, int32_t pos, const Cell* value);
// Whether match_run can take the value: a char! or bitset! on text or binary input, which
// always matches one unit at a time.
bool runs_by_unit(const Engine& e, const Cell* value);
// Units matched one after the other from pos, at most max of them (-1: no bound).
int32_t match_run(const Engine& e, int32_t pos, int32_t max, const Cell* value);
// Datatype or typeset rule at the input position: units matched or -1.
int32_t match_type_at(Engine& e, int32_t pos, const Cell* rule);
// to/thru with a single value: the first position from pos where it matches, -1 when none;
// *len receives the length of the match. Raises parse-rule for values text cannot hold.
int32_t search(Engine& e, int32_t pos, const Cell* value, int32_t* len);

// ---- Keywords and commands (parse_keywords.cpp) --------------------------------------------

State keyword(Engine& e, Keyword kw, const Cell* word);
State finish_command(Engine& e);

}  // namespace tav::parse_detail

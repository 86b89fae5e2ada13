// The string! actions beyond storage, form and mold: comparison, search, sorting, the set
// operations, construction, the modifying actions and trimming, and case changes. file!,
// url! and the other string kinds reach them through their inherited action rows.
//
// Every routine reads characters through their unit (1, 2 or 4 bytes), so no answer depends
// on how wide a buffer happens to be stored.
#pragma once
#include <cstdint>
#include "core/cell.h"
#include "core/memory.h"
#include "core/string_buffer.h"

namespace tav::string {

// ---- Characters of a value ---------------------------------------------------------------

// A read-only view of count characters; stale after anything that allocates.
struct CharView {
  const uint8_t* p = nullptr;
  uint32_t unit = 1;
  uint32_t count = 0;
  uint32_t at(uint32_t i) const { return get_char(p + size_t(i) * unit, unit); }
};
// The characters of an any-string value from its (clamped) index.
CharView view_of(const Cell* v);

// The upper-case form used by every case-insensitive comparison.
uint32_t fold_char(uint32_t cp);

// A string-like value standing for v: v itself for the any-string kinds, else (symbol! and
// the word kinds) a new string of the name pushed on the argument stack.
const Cell* text_of_value(const Cell* v);

// ---- Comparison (string_compare.cpp) --------------------------------------------------------

// Compares the characters of two any-string (or symbol!) values from their indexes under an
// op code; with match, answers whether s1 starts with s2 (0 when it does). Negative, 0 or
// positive.
int compare_text(const Cell* s1, const Cell* s2, int op, bool match);

// The compare handler: values of different kinds compare only for equality, and only with
// another string kind; -2 otherwise.
int compare(Cell* value1, Cell* value2, int op);

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
           bool reverse, bool stable);
// How a sort orders records, from its refinements; shared by every kind sorted by unit.
struct SortPlan {
  uint32_t size = 1;      // units per record
  uint32_t offset = 0;    // 0-based unit compared within a record
  bool whole = false;     // compare whole records (with a function: hand it whole records)
  bool fold = true;
  bool reverse = false;
  const Cell* function = nullptr;   // a function! comparator
};
// The work range (index and count, /part applied; a negative part moves the index back) and
// the plan. False when there is nothing to sort; raises for bad /skip, /compare and
// refinement mixes.
bool plan_sort(Cell* series, bool case_, Cell* skip, Cell* comparator, Cell* part, bool all,
               bool reverse, int32_t* index, int32_t* count, SortPlan* plan);

// The set natives on text: op is one of these codes.
enum SetOp : int { SET_UNIQUE = 8, SET_UNION = 9, SET_INTERSECT = 10, SET_EXCLUDE = 11,
                   SET_DIFFERENCE = 12 };
// Writes the result into `first` (its node replaced by a new buffer, index 0, type kept).
// Records are skip characters long (1 without skip) and are told apart by their first
// character, folded unless case_.
Cell* do_set_op(Cell* first, Cell* second, bool case_, Cell* skip, int op);

// ---- Search (string_search.cpp) ---------------------------------------------------------

// Where a find looks, from its refinements. Every kind searched by unit (text, binary,
// vector) shares it, so /part, /skip, /last, /reverse and /match mean one thing everywhere.
struct ScanPlan {
  int64_t lo = 0, hi = 0;   // the units searched, [lo, hi) from the buffer head
  int32_t index = 0;        // the series index, clamped
  int32_t step = 1;         // the /skip record size
  bool backward = false;
  bool match = false;       // only the first candidate is tried
};
// False when nothing can be found (an empty buffer, a start at the tail, a /part below one,
// /reverse with /match). /any and /with raise internal not-done; a bad /skip or /part raises.
bool plan_scan(Cell* series, Cell* part, bool any, Cell* with, Cell* skip, bool last,
               bool reverse, bool match, ScanPlan* plan);
// Tries the candidates for a needle of n units in scan order; at(p) answers whether the
// needle stands at unit p. Backward, the last candidate is the needle's length ending at the
// bound and, with /skip, candidates are record starts counted in steps from the index.
// Answers the first position found, or -1.
template <class At>
int64_t run_scan(const ScanPlan& s, int64_t n, At&& at) {
  if (!s.backward) {
    for (int64_t p = s.lo; p + n <= s.hi; p += s.step) {
      if (at(p)) return p;
      if (s.match) break;
    }
    return -1;
  }
  int64_t first = s.hi - n;
  if (s.step > 1) {
    int64_t d = first - s.index;
    int64_t records = d >= 0 ? d / s.step : -((-d + s.step - 1) / s.step);
    first = s.index + records * s.step;
  }
  for (int64_t p = first; p >= s.lo; p -= s.step) {
    if (at(p)) return p;
    if (s.match) break;
  }
  return -1;
}

Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse);
// s/2, s/2: value, s/key and s/key: value.
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt);

// ---- Construction and modification (string_modify.cpp) ----------------------------------

Cell* make_value(Cell* proto, Cell* spec, int type);
Cell* to_value(Cell* proto, Cell* spec, int type);

// append (append set) and insert share one handler; part is the count of characters taken
// from the value (-1: all), dup the number of copies.
Cell* insert(Cell* series, Cell* value, int part, bool only, int dup, bool append);
// part: the characters replaced (-1: as many as the new text has).
Cell* change(Cell* series, Cell* value, int part, bool only, int dup);
Cell* swap(Cell* series1, Cell* series2);
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

// Removes every character in the set from the index on: the characters of a string! or
// binary! from its index, the one code point of a char! or integer!, or (set null) tab, line
// feed, carriage return and space.
void trim_with(Cell* series, const Cell* set);
// Drops leading whitespace and collapses each other run of it to one space.
void trim_lines(Cell* series);
// Whitespace at the ends (and, with neither head nor tail, blanks around each line).
void trim_ends(Cell* series, bool head, bool tail);

// uppercase and lowercase: a char! changes in its cell; a string changes from its index,
// all of it or the /part count (an integer!, or a position in the same string), clamped to
// the characters left. Widens the buffer when a mapped character needs it.
void change_case(Cell* value, const Cell* part, bool upper);

}  // namespace tav::string

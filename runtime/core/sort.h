// Record sorting: fixed-width records in one contiguous area, ordered by a compare callback.
//
// The sorter knows nothing of what the records hold: cells of a block (one or a group per
// record), characters of a string, or indexes into some other store. Every sort is stable.
//
// A callback may raise (a language error travels as a C++ exception): the area is then left
// holding a permutation of its records, never a record lost or doubled.
#pragma once
#include <cstdint>

#include "core/cell.h"

namespace tav::sort {

// Negative when record a sorts before record b, 0 when equal, positive when after. op and
// flags are the caller's own, passed through untouched.
using Compare = int32_t (*)(const uint8_t* a, const uint8_t* b, int op, uint32_t flags,
                            void* context);

// Stable merge sort exploiting natural runs. Takes a temp area of (n / 2) x width bytes from
// the heap; raises script too-long when that size does not fit in 32 bits.
void merge_sort(uint8_t* base, uint32_t n, uint32_t width, int op, uint32_t flags,
                Compare compare, void* context = nullptr);

// Sorts n cells when every one is an integer!, by number (descending with reverse), as the
// merge sort with the compare action would, without calling it; answers false, touching
// nothing, when any cell is of another type.
bool sort_integer_cells(Cell* cells, uint32_t n, bool reverse);

// Exchanges two records: 32 bits at a time when the width allows, else byte by byte.
void swap_records(uint8_t* a, uint8_t* b, uint32_t width);

// The end (a record index) of the natural run that starts at record `start`: ascending while
// no record sorts after the next, or strictly descending, in which case it is reversed in
// place (equal neighbours never join a descending run, so the reversal keeps them in order).
uint32_t find_run(uint8_t* base, uint32_t start, uint32_t n, uint32_t width, int op,
                  uint32_t flags, Compare compare, void* context);

// Merges the sorted runs [first, middle) and [middle, last) (record indexes) through the
// temp area, which holds at least the shorter run. Equal records keep their order.
void merge_runs(uint8_t* base, uint32_t first, uint32_t middle, uint32_t last, uint32_t width,
                uint8_t* temp, int op, uint32_t flags, Compare compare, void* context);

// ---- Ordering with a user function -------------------------------------------------------

// Calls a function! with two values through the interpreter. The function and the code that
// passes the values stay on the argument stack for the caller's scope, so the caller's stack
// cells must outlive it (construct it after pushing what it needs, destroy it before popping).
class FunctionCall {
 public:
  explicit FunctionCall(const Cell* fn);
  FunctionCall(const FunctionCall&) = delete;
  FunctionCall& operator=(const FunctionCall&) = delete;
  // The function's answer for (first, second). A break, throw or return out of the function
  // goes on up as an exception, the way an error does.
  Cell call(const Cell* first, const Cell* second);

 private:
  Cell fn_;
  NodeId code_ = 0;      // [fn arg arg]: each arg a get-word reading a slot, or the value
  NodeId slots_ = 0;     // the context whose two slots hold the values
  bool literal_[2] = {false, false};   // the argument takes its value as written (:arg)
};

// Sorts n record indexes (width 4, from 0) with a callback that orders records by index;
// used when ordering calls back into the interpreter, so the records themselves can stay in
// a rooted store that may move while the function runs.
using IndexCompare = int32_t (*)(uint32_t a, uint32_t b, void* context);
void sort_indexes(uint32_t* indexes, uint32_t n, IndexCompare compare, void* context);

// The answer of a comparator of units (characters, vector elements) about its first argument:
// -1 before (true, a negative number, or any other value), 0 equal, 1 after (false, a
// positive number, none).
int32_t unit_answer(const Cell* answer);

// The string! sort with a function! comparator: records of `size` characters from the index
// of `series`, count characters in all; the function gets two char! values (with all, two
// strings holding the whole records). The owner is told before and after; raises when the
// function changes the string's length. Answers the series.
Cell* sort_text_with_function(Cell* series, int32_t count, uint32_t size, bool all,
                              bool reverse, const Cell* fn);

}  // namespace tav::sort

// The compiled form of function bodies, shared by the compiler and the runner.
//
// A program holds the units of one function: its body, and the parens and literal blocks the
// body runs through if, either, unless, while, loop and until. A unit keeps a copy of its block's cells as
// they were compiled; it runs only while the block still holds exactly those cells, and gives
// the rest of its block to the interpreter as soon as they differ or a word no longer names
// what it named when compiled.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "calls.h"
#include "core/cell.h"
#include "compiled.h"
#include "core/memory.h"
#include "core/stack.h"
#include "loop_rounds.h"

namespace tav::compiled::detail {

enum Kind : uint8_t {
  K_VALUE,   // a cell that evaluates to itself (a lit-word is kept as its word)
  K_WORD,    // a word whose value is taken as it stands
  K_LOCAL,   // such a word of the running function's own context
  K_GET,     // a get-word
  K_PAREN,   // a paren, run above the stack
  K_INFIX,   // left op right, for the arithmetic and comparison ops
  K_SET,     // set-word: value
  K_CALL,    // a function, native or action with evaluated arguments and no refinement
};

// Natives the runner carries out itself, with their blocks compiled.
enum Special : uint8_t { S_NONE, S_IF, S_EITHER, S_UNLESS, S_WHILE, S_LOOP, S_UNTIL };

// The conditional a special native is (S_IF, S_EITHER or S_UNLESS).
inline natives::Choice choice_of(Special s) {
  return s == S_IF ? natives::Choice::if_
         : s == S_EITHER ? natives::Choice::either_ : natives::Choice::unless_;
}

constexpr uint32_t NO_UNIT = ~0u;
constexpr uint32_t NO_SLOT = ~0u;

struct Program;

struct Node {
  Kind kind;
  Special special = S_NONE;
  bool plain_first = false;    // the leftmost operand is a value or a word (no call, no paren)
  bool pure = false;           // values, words and inline operators only: no call, no frame
  bool calls = false;          // may run other code (a call, a paren)
  bool local = false;          // the word is one of the running function's own
  bool next_check = false;     // the word after it must still not be an operator
  bool pure_loop = false;      // S_WHILE: both blocks are pure, and set no operator's word
  int8_t code = -1;            // K_INFIX: the operator's infix code
  uint8_t arity = 0;           // K_CALL: arguments
  bool args_pure = false;      // K_CALL: every argument is pure
  uint32_t typed = 0;          // K_CALL: arguments whose type is known to fit (values)
  uint32_t pos = 0, end = 0;   // the cells it spans in its unit's block
  uint32_t kids = 0;           // its first child's place in the unit's list of children
  const Node* const* kid = nullptr;   // the children: operands, arguments, the set value
  uint32_t unit = NO_UNIT;     // K_PAREN: the paren's unit
  uint32_t blocks[2] = {NO_UNIT, NO_UNIT};   // special natives: the units of their blocks
  Cell cell{};                 // the value, the word, the callee's word or the op word
  Cell target{};               // K_CALL: the callee; K_INFIX: the op
  NodeId cache = 0;            // K_CALL: the callee's argument cache
  NativeEntry entry = nullptr; // K_CALL of a native or action
  Program* callee = nullptr;   // K_CALL of a function in a closed run: the callee's program
  uint32_t next_slot = NO_SLOT;  // next_check on one of the function's own words: its slot
  const Node* closed_as = nullptr;   // K_PAREN of one expression in a closed run: that one
  uint64_t accepts = 0;        // an argument of a K_CALL: the types its callee takes there
};

struct Unit {
  NodeId node = 0;
  uint32_t index = 0;
  std::vector<Cell> cells;          // the block's cells from its index, as compiled
  std::vector<const Node*> roots;   // the root node of each compiled statement
  const Node* single = nullptr;     // the root of a unit that is one whole statement
  uint32_t rest = 0;                // where the interpreter takes over (the tail: nowhere)
  uint32_t end = 0;                 // the index past the cells
  std::vector<Node> nodes;
  std::vector<const Node*> kid_nodes;   // every node's children, one stretch per node
  // The count of possible edits when the cells were last found unchanged.
  mutable uint64_t checked = ~uint64_t(0);
  uint32_t tail() const { return end; }
  uint32_t root_count() const { return static_cast<uint32_t>(roots.size()); }
};

struct ClosedSet;

// Whether a program's own nodes all have a closed form (see compiled_closed.h).
enum Shape : uint8_t { SHAPE_UNKNOWN, SHAPE_CLOSED, SHAPE_OPEN };
// Whether a program runs closed, with what it calls.
enum Closed : uint8_t { CLOSED_UNKNOWN, CLOSED_YES, CLOSED_NO };

struct Program {
  Program();
  ~Program();
  uint64_t serial = 0;             // unique over the process's life
  uint32_t id = 0;                 // its number in the registry
  NodeId ctx = 0;                  // the function's context
  NodeId body = 0;                 // the body block's node
  std::vector<Unit> units;         // every unit, each after the units it runs
  uint32_t body_unit = 0;
  uint32_t body_index = 0;         // the index of the body's block cell
  uint32_t running = 0;            // runs in progress: a retired program waits for them
  bool retired = false;
  uint32_t slots = 0;              // the words of its context when compiled
  uint32_t node_count = 0;         // the nodes of all its units
  Shape shape = SHAPE_UNKNOWN;
  Closed closed = CLOSED_UNKNOWN;
  uint32_t closed_tries = 0;       // looks at a closed form that could not decide yet
  uint64_t closed_runs = 0, closed_misses = 0;
  std::unique_ptr<ClosedSet> closed_set;   // what its closed runs rely on
};

// Whether the block still holds the unit's cells, from `from` to its tail.
inline bool same_cells(const Unit& u, uint32_t from) {
  SeriesBuffer* b = node_buffer(u.node);
  if (b->used() != u.tail() * uint32_t(sizeof(Cell))) return false;
  const uint64_t* live = reinterpret_cast<const uint64_t*>(b->cells() + from);
  const uint64_t* kept = reinterpret_cast<const uint64_t*>(u.cells.data() + (from - u.index));
  uint32_t n = (u.tail() - from) * 2;
  uint64_t diff = 0;
  for (uint32_t i = 0; i < n; ++i) diff |= live[i] ^ kept[i];
  return diff == 0;
}

// The same, cheaply when nothing that can edit a block ran since the last time.
inline bool unchanged(const Unit& u, uint32_t from) {
  if (u.checked == edits) [[likely]] return true;
  if (!same_cells(u, from)) return false;
  if (from == u.index) u.checked = edits;
  return true;
}

// Compiles the body of a function; null when nothing in it can be compiled.
Program* compile(const Cell* fn, const Cell* body);

// The registry: a body's buffer keeps its program's number in its first spare word and the
// number of times it ran uncompiled in the second.
struct Registry {
  std::vector<Program*> programs{nullptr};   // by number; 0 is no program
  std::vector<uint32_t> free_numbers;
  size_t live = 0;
  size_t prune_at = 64;
  uint32_t pruned_after = 0;   // the collector's cycle count at the last look
};
extern Registry* const registry;

// The program compiled for a function's body, when there is one (nothing is compiled).
[[gnu::always_inline]] inline Program* found_program(const Cell* fn, const Cell* body) {
  uint32_t id = node_buffer(body->node())->reserved[0];
  const std::vector<Program*>& programs = registry->programs;
  Program* p = id < programs.size() ? programs[id] : nullptr;
  if (p && p->body == body->node() && p->ctx == fn->data1 && p->body_index == body->index())
    [[likely]] return p;
  return nullptr;
}

// Keeps a program alive while it runs, whatever leaves it (an error is a C++ exception).
struct Hold {
  Program* p;
  explicit Hold(Program* program) : p(program) { ++p->running; }
  ~Hold() {
    if (--p->running == 0 && p->retired) delete p;
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
};

// The program of a function's body, compiled on its first run; null when it has none (yet).
Program* program_of(const Cell* fn, const Cell* body);
// Deletes a program now, or once its last run ends.
void retire(Program* p);

}  // namespace tav::compiled::detail

// Closed runs: a function whose body only computes, and calls only functions that do the same,
// runs as a whole on registers, with none of the interpreter's bookkeeping.
//
// Such a body reads its own words, plain values of words that no function owns, and literal
// values; it sets only its own words; it answers arithmetic and comparisons inline, runs its
// parens and the blocks of if, either and unless, and calls functions of the same kind with
// evaluated arguments. Nothing it does can be seen from outside until it answers, and nothing
// else runs meanwhile: so what the interpreter checks at every step (that each word still
// names what it named when compiled, that no block was edited) is checked once, when the run
// starts, and it holds until the run ends.
//
// When a run meets anything out of the common (a value an operator cannot answer inline, an
// argument of the wrong type, a value that would be called, calls nested deeper than the
// stacks could hold the ordinary way), it is abandoned. It changed nothing, so the call simply
// runs again the ordinary way, which does whatever that case deserves: an error with its
// report, a float, a stack overflow.
#pragma once
#include <vector>

#include "compiled_internal.h"

namespace tav::compiled::detail {

// What the closed runs of a program rely on, gathered over everything it may call.
struct ClosedSet {
  struct Member {
    Program* p;
    uint32_t id;
    uint64_t serial;
  };
  struct Guard {
    Cell word;
    Cell value;
  };
  struct Callee {
    Cell fn;             // a function value a call was compiled for
    const Program* p;    // the program of its body
  };
  std::vector<Member> members;    // the programs that may run (the first is the caller's own)
  std::vector<Guard> words;       // words that must still hold exactly these values
  std::vector<Cell> not_ops;      // words that must still not hold an operator
  std::vector<Callee> callees;    // functions whose bodies must still be these programs'
  // The most one level of calls may take of each stack when run the ordinary way.
  uint32_t cells = 0, frames = 0, depth = 0;
  uint64_t checked = ~uint64_t(0);   // the edit count when the blocks were last compared
};

// Runs a program's body closed for the call whose slots start at `locals` (the frame just
// entered, its body about to run): true when it ran, its value in the frame's result slot;
// false when it does not run closed or was abandoned, and nothing happened.
bool run_closed(Program& p, const Cell* locals);

}  // namespace tav::compiled::detail

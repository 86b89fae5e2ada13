// The generic actions, in their fixed order: an action's place in this list is its position
// in the action rows and the actions table, which the boot source and Tavbin streams name
// actions by. The boot image's build checks library/boot/actions.tav against this list.
//
// X(ID, "name", Signature, word): ACT_ID is the action's 1-based position; Signature names
// the type of its handlers in namespace act (core/types.h); word is BOUND when the boot
// source gives the action a word, UNBOUND when only the runtime calls it.
#pragma once

#define TAV_ACTIONS(X) \
  X(MAKE, "make", Make, BOUND) \
  X(RANDOM, "random", Random, BOUND) \
  X(REFLECT, "reflect", Reflect, BOUND) \
  X(TO, "to", Make, BOUND) \
  X(FORM, "form", Form, BOUND) \
  X(MOLD, "mold", Mold, BOUND) \
  X(EVAL_PATH, "eval-path", EvalPath, UNBOUND) \
  X(SET_PATH, "set-path", EvalPath, UNBOUND) \
  X(COMPARE, "compare", Compare, UNBOUND) \
  X(ABSOLUTE, "absolute", StackReading, BOUND) \
  X(ADD, "add", StackReading, BOUND) \
  X(DIVIDE, "divide", StackReading, BOUND) \
  X(MULTIPLY, "multiply", StackReading, BOUND) \
  X(NEGATE, "negate", Unary, BOUND) \
  X(POWER, "power", StackReading, BOUND) \
  X(REMAINDER, "remainder", StackReading, BOUND) \
  X(ROUND, "round", Round, BOUND) \
  X(SUBTRACT, "subtract", StackReading, BOUND) \
  X(EVEN_Q, "even?", Predicate, BOUND) \
  X(ODD_Q, "odd?", Predicate, BOUND) \
  X(AND_T, "and~", StackReading, BOUND) \
  X(COMPLEMENT, "complement", Unary, BOUND) \
  X(OR_T, "or~", StackReading, BOUND) \
  X(XOR_T, "xor~", StackReading, BOUND) \
  X(APPEND, "append", Append, BOUND) \
  X(AT, "at", StackReading, BOUND) \
  X(BACK, "back", StackReading, BOUND) \
  X(CHANGE, "change", Change, BOUND) \
  X(CLEAR, "clear", Unary, BOUND) \
  X(COPY, "copy", Copy, BOUND) \
  X(FIND, "find", Find, BOUND) \
  X(HEAD, "head", StackReading, BOUND) \
  X(HEAD_Q, "head?", StackReading, BOUND) \
  X(INDEX_Q, "index?", StackReading, BOUND) \
  X(INSERT, "insert", Append, BOUND) \
  X(LENGTH_Q, "length?", Length, BOUND) \
  X(MOVE, "move", Move, BOUND) \
  X(NEXT, "next", StackReading, BOUND) \
  X(PICK, "pick", Pick, BOUND) \
  X(POKE, "poke", Poke, BOUND) \
  X(PUT, "put", Put, BOUND) \
  X(REMOVE, "remove", Remove, BOUND) \
  X(REVERSE, "reverse", Reverse, BOUND) \
  X(SELECT, "select", Select, BOUND) \
  X(SORT, "sort", Sort, BOUND) \
  X(SKIP, "skip", StackReading, BOUND) \
  X(SWAP, "swap", Swap, BOUND) \
  X(TAIL, "tail", StackReading, BOUND) \
  X(TAIL_Q, "tail?", StackReading, BOUND) \
  X(TAKE, "take", Take, BOUND) \
  X(TRIM, "trim", Trim, BOUND) \
  X(CREATE, "create", Unary, BOUND) \
  X(CLOSE, "close", Unary, BOUND) \
  X(DELETE, "delete", Unary, BOUND) \
  X(MODIFY, "modify", Modify, BOUND) \
  X(OPEN, "open", Open, BOUND) \
  X(OPEN_Q, "open?", Unary, BOUND) \
  X(QUERY, "query", Unary, BOUND) \
  X(READ, "read", Read, BOUND) \
  X(RENAME, "rename", Rename, BOUND) \
  X(UPDATE, "update", Unary, BOUND) \
  X(WRITE, "write", Write, BOUND)

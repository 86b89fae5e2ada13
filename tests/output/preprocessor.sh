#!/bin/bash
# What the preprocessor prints when it stops, and scripts expanded before they run.
# Usage: preprocessor.sh path/to/tav-eval
tav=$1
fixtures=../fixtures/preprocessor
failed=0

# check NAME EXPECTED-STATUS EXPECTED-OUTPUT ARGS...: tav-eval ARGS must print exactly that.
check() {
  local name=$1 status=$2 expected=$3 got rc
  shift 3
  got=$("$tav" "$@" 2>&1)
  rc=$?
  if [[ "$got" != "$expected" || $rc != "$status" ]]; then
    printf 'FAIL %s\n--- expected (status %s)\n%s\n--- got (status %s)\n%s\n' \
      "$name" "$status" "$expected" "$rc" "$got"
    failed=1
  fi
}

# stops NAME CODE EXPECTED: expanding CODE prints EXPECTED and tells the console to halt.
stops() {
  check "$1" 0 "$3"$'\nhalt-request' -e "print catch/name [expand-directives/clean [$2]] 'console"
}

check "a script expanded for this system" 0 "linux" $fixtures/linux.tav
check "an include from another folder, with its own include" 0 "42 11" $fixtures/main.tav

stops "#either with one block" '#either true [a]' \
'*** Preprocessor Error: Syntax error
*** Where: #either true [a]'
stops "#if without its block" 'x #if 1 + 2' \
'*** Preprocessor Error: Syntax error
*** Where: #if 1 + 2'
stops "#case with a condition and no body" '#case [true]' \
'*** Preprocessor Error: Syntax error
*** Where: #case [true]'
stops "#macro without a function" '#macro m: fun [a] [a]' \
'*** Preprocessor Error: Syntax error
*** Where: #macro m: fun [a] [a]'
stops "a named macro short of arguments" '#macro m: func [a b] [a] m 1' \
'*** Preprocessor Error: Syntax error
*** Where: m 1'
stops "a refinement in a macro spec" '#macro m: func [a /x] [a]' \
'*** Macro Error: invalid specification
*** Where: m: func [a /x]'
stops "a pattern macro with one argument" "#macro 'x func [a] [[]]" \
"*** Macro Error: invalid specification
*** Where: 'x func [a]"
stops "a named macro that returns nothing" '#macro m: func [a] [] m 1' \
'*** Macro Error: no value returned by m macro'
stops "an unknown refinement in an expression" '#if append/x [] 1 [a]' \
'*** Macro Error: unknown refinement
*** Where: append/x'
stops "a manual macro returning no position" "#macro 'x func [[manual] s e] [[a]] x" \
'*** Macro Error: [manual] macro not returning a position
*** Where: [a]'
stops "a macro expanding into itself" '#macro m: func [] [[x m]] m' \
'*** Macro Error: expansion too deep, a macro may expand into itself
*** Where: m'

check "a trace of each macro step" 0 \
'preproc: matched [x]
preproc: eval macro [change s '"'"'y e]
preproc: == [z #do keep [1] #macro m: func [a] [a * 10] m 2 #trace off]
preproc: matched [m 2]
preproc: eval macro [a * 10]
preproc: == 20
[y z 1 20]' -e "probe expand-directives/clean [#trace on #macro 'x func [[manual] s e] [change s 'y e] x z #do keep [1] #macro m: func [a] [a * 10] m 2 #trace off]"

# An error in a directive's code is reported against the directive, and the script stops
# with a failure status; a syntax error halts the script before any of it runs.
got=$("$tav" $fixtures/bad-do.tav 2>&1)
status=$?
expected='*** Preprocessor Error in #do
*** Math Error: attempt to divide by zero
*** Where: do
*** Near : 1 / 0'
if [[ "$(printf '%s\n' "$got" | head -4)" != "$expected" || $status != 1 ]] ||
   printf '%s\n' "$got" | grep -q "not reached"; then
  printf 'FAIL an error in #do code\n--- expected (status 1)\n%s\n--- got (status %s)\n%s\n' \
    "$expected" "$status" "$got"
  failed=1
fi
check "a syntax error in a script" 0 \
'*** Preprocessor Error: Syntax error
*** Where: #either true [a]
(halted)' $fixtures/bad-syntax.tav

exit $failed

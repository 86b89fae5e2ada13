#!/bin/bash
# What the evaluation tracer prints, compared line for line. Each line ends in a "|" here so
# that its trailing blanks show: report lines are one character narrower than the width.
# Usage: trace.sh path/to/tav-eval
tav=$1
failed=0

# check NAME CODE EXPECTED: the output of CODE, each line ended by "|", must be EXPECTED.
check() {
  local got
  got=$("$tav" -e "$2" 2>&1 | sed 's/$/|/')
  if [[ "$got" != "$3" ]]; then
    printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$3" "$got"
    failed=1
  fi
}

# 80 columns without a console: the expression from column 2, " => " at 36, the value cut to
# 37 characters; what the code prints comes between the lines.
check "one line per expression" 'trace [x: 1 + 2 probe x]' \
'  x: 1 + 2                           => 3                                      |
3|
  probe x                            => 3                                      |'

check "a fixed width; a long value keeps its closing bracket" \
  'system/tools/tracers/inspector/fixed-width: 40 trace [y: [aaaaaaaaaa bbbbbbbbbbbbbbbb cccccccccccc] "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"]' \
'  y: [aaaaaaaaaa => [aaaaaaaaaa b...]  |
  "aaaaaaaaaaaaa => "aaaaaaaaaaaa..."  |'

# Sub-expressions and the words looked up, but not the constant words such as none.
check "trace/all" 'trace/all [x: 1 + 2 if x > 2 [none]]' \
'  1 + 2                              => 3                                      |
  x                                  => 3                                      |
  3 > 2                              => true                                   |
  if true [none]                     => none                                   |'

# Into a function's body: a header names the call and its arguments, the body's lines are
# indented one level deeper.
check "trace/deep" 'f: func [a] [a * 2] trace/deep [f 3]' \
'````F 3``````````````````````````````````````````````````````````````````````|
    a * 2                            => 6                                      |
`````````````````````````````````````````````````````````````````````````````|
  f 3                                => 6                                      |'

# Without /deep the body of a called function is not reported.
check "calls stay closed" 'f: func [a] [a * 2] trace [f 3 f 4]' \
'  f 3                                => 6                                      |
  f 4                                => 8                                      |'

check "an error is reported, then raised" 'e: try [trace [x: 1 / 0]] print e/id' \
'``/``````````````````````````````````````````````````````````````````````````|
  x: 1 / 0                           => make error! [code: 400 type: '"'"'mat...]  |
zero-divide|'

check "a trace inside a traced run does nothing" \
  'do/trace [trace [1 + 2]] func [e c o v r f] [[]] print "after"' 'after|'

# The raw events, with the frame pair left out: its numbers depend on the stack's depth.
got=$("$tav" -e 'trace/raw [x: 1 + 2]' 2>&1 | sed -E 's/ -?[0-9]+x-?[0-9]+$/ F/')
expected='INIT -1 none none F
ENTER 0 none [x: 1 + 2] F
FETCH 0 none x: F
PUSH 1 none x: F
FETCH 1 none 1 F
PUSH 2 none 1 F
FETCH 2 none + F
OPEN 3 none + F
FETCH 3 none 2 F
PUSH 4 none 2 F
CALL 4 + make action! [[value1 value2]] F
RETURN 4 + 3 F
SET 4 3 x: F
EXPR 4 none 3 F
EXIT 4 none 3 F
END -1 none none F'
if [[ "$got" != "$expected" ]]; then
  printf 'FAIL trace/raw\n--- expected\n%s\n--- got\n%s\n' "$expected" "$got"
  failed=1
fi

exit $failed

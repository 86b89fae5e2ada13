#!/bin/bash
# What the debugging and timing tools print, compared line for line; timings only by shape.
# Usage: debugging.sh path/to/tav-eval
tav=$1
failed=0

# check NAME CODE EXPECTED [STDIN]: the printed output of CODE must be EXPECTED exactly.
check() {
  local got
  got=$(printf '%s' "${4-}" | "$tav" -e "$2" 2>&1)
  if [[ "$got" != "$3" ]]; then
    printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$3" "$got"
    failed=1
  fi
}

# like NAME CODE REGEX: every line printed by CODE must match REGEX (extended).
like() {
  local got
  got=$("$tav" -e "$2" 2>&1)
  if [[ -z "$got" ]] || printf '%s\n' "$got" | grep -Evq -- "$3"; then
    printf 'FAIL %s\n--- expected lines like\n%s\n--- got\n%s\n' "$1" "$3" "$got"
    failed=1
  fi
}

check "?? word, unset word, path" \
  'x: 5 ?? x ?? nothing-here o: object [a: [1 "b"]] ?? o/a' \
'x: 5
nothing-here: unset!
o/a: [1 "b"]'

check "probe prints and returns" 'print mold probe [a "b"] probe none probe ()' \
'[a "b"]
[a "b"]
none
unset'

# clock: at most three digits unless the integer part is longer, then the unit and a tab.
digits='^([0-9]{1,3}|[0-9]{4,}|[0-9]\.[0-9]{1,2}|[0-9]{2}\.[0-9]|0\.0?[0-9]{1,2}|0\.00[0-9])'
like "clock line" 'clock [1 + 2]' "$digits (ms|μs)	\\[1 \\+ 2\\]\$"
like "clock/times line" 'clock/times [copy "x"] 3' "$digits (ms|μs)	\\[copy \"x\"\\]\$"
like "clock label cut to 70" 'clock [append [] "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"]' \
  "$digits (ms|μs)	\\[append \\[\\] \\{a{58}\$"

check "show-memory-stats report" 'show-memory-stats [[[1 2 3] [4 5 6]] [] [10 20] 100 200]' \
'
[ Nodes  ] -- Free ----- Used ----- Total --
   1:             1           2            3
   2:             4           5            6
  --
  Used     :  7 nodes
  Allocated:  9 nodes

[ Series ] -- Free ----- Used ----- Total --
               -           -            -
  --
  Used     :  0 bytes
  Allocated:  0 bytes

[ Big    ]
   1:            10
   2:            20
  --
  Allocated:  30 bytes
--
Total allocated from OS (virtual):       100 
Total allocated on heap (malloc):       200 '

like "stats/show reaches the report" 'stats/show' \
  '^$|^\[ (Nodes |Series|Big   ) \]|^ +[0-9]+:|^  --$|^  (Used     |Allocated): |^--$|^Total allocated'

# The second trace starts again at the left margin.
check "parse-trace" 'parse-trace "ab" ["a" "b"] parse-trace "a" [some "a"]' \
' -->
   input: "ab" 
   match: ["a" "b"]   
   ==> matched
   input: "b" 
   match: ["b"]   
   ==> matched
 <--
return: true
 -->
   input: "a" 
   match: [some "a"]   
   -->
     ==> matched
     ==> not matched
   <--
 <--
return: true'

check "transcode-trace" 'print mold transcode-trace "a 1"' \
'PRESCAN  word!        1x2          1    " 1"
SCAN     word!        1x2          1    " 1"
LOAD     word!        a            1    " 1"
PRESCAN  integer!     3x4          1    ""
SCAN     integer!     3x4          1    ""
LOAD     integer!     1            1    ""
PRESCAN  eof          4x4          1    ""
[a 1]'

exit $failed

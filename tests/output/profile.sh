#!/bin/bash
# What the profiler prints, compared line for line; the durations, which vary from run to
# run, are checked for their shape and then shown as T.
# Usage: profile.sh path/to/tav-eval
tav=$1
failed=0

# check NAME CODE EXPECTED: the report of CODE must be EXPECTED.
check() {
  local got
  got=$("$tav" -e "$2" 2>&1 | sed -E 's/\| [0-9]+:[0-9]{2}:[0-9]{2}(\.[0-9]+)? *$/| T/')
  if [[ "$got" != "$3" ]]; then
    printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$3" "$got"
    failed=1
  fi
}

# By count, largest first: the three calls of append rank above the one of loop.
check "a loop calling append" 'b: copy [] profile [loop 3 [append b 1]]' \
'== [1 1 1] 

#1   append           | 3          | T
#2   loop             | 1          | T'

check "by name" 'f: func [] [1] profile/by [f loop 2 [append [] f] add 1 2] '"'"'name' \
'== 3 

#1   add              | 1          | T
#2   append           | 2          | T
#3   f                | 3          | T
#4   loop             | 1          | T'

check "by time: a loop around the others takes longest" \
  'f: func [] [loop 1000 [1]] profile/by [loop 5 [f]] '"'"'time' \
'== 1 

#1   loop             | 6          | T
#2   f                | 5          | T'

# Another word sorts nothing: the names stay in the order they were first called.
check "by a word that is no key" 'profile/by [loop 2 [append [] 1] add 1 2] '"'"'size' \
'== 3 

#1   loop             | 1          | T
#2   append           | 2          | T
#3   add              | 1          | T'

# A function reached without a word is a new entry at each call.
check "anonymous functions" 'profile [do func [] [1] do func [] [2]]' \
'== 2 

#1   func             | 2          | T
#2   do               | 2          | T
#3   <anon1>          | 1          | T
#4   <anon2>          | 1          | T'

check "nothing counted" 'profile [1 2]' '== 2 '

check "no value, no result line" 'profile [print "hi"]' \
'hi
#1   print            | 1          | T'

check "only the types asked for" \
  'system/tools/options/profile/types: make typeset! [native!] profile [loop 2 [append [] 1] 1 + 2]' \
'== 3 

#1   loop             | 1          | T'

exit $failed

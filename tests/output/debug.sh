#!/bin/bash
# The interactive debugger driven through standard input: what it prints at each event and
# at each command, compared line for line. What is typed is not echoed, so each "debug> "
# is followed by what the command printed or by the next event.
# Usage: debug.sh path/to/tav-eval
tav=$1
failed=0

# check NAME CODE INPUT EXPECTED: the output of CODE fed INPUT must be EXPECTED.
check() {
  local got
  got=$(printf '%s' "$3" | "$tav" -e "$2" 2>&1)
  if [[ "$got" != "$4" ]]; then
    printf 'FAIL %s\n--- expected\n%s\n--- got\n%s\n' "$1" "$4" "$got"
    failed=1
  fi
}

# next, ENTER, then continue: the rest runs without stopping.
check "step and continue" 'debug [x: 1 + 2] print x' $'n\n\nc\n' \
'-----> EVAL x:
Input: x: 1 + 2

-empty stack-
debug> -----> PUSH x:
Input: 1 + 2

Stack: x:

debug> -----> EVAL 1
Input: 1 + 2

Stack: x:

debug> 3'

# A set names the word and shows the value; the value then stands alone on the stack.
check "set" 'debug [x: 1] print x' $'\n\n\n\n\n' \
'-----> EVAL x:
Input: x: 1

-empty stack-
debug> -----> PUSH x:
Input: 1

Stack: x:

debug> -----> EVAL 1
Input: 1

Stack: x:

debug> -----> PUSH 1
Input: 

Stack: x:
Stack: 1

debug> -----> SET x 1
Input: 

Stack: 1

debug> 1'

# -s hides the stack; watched words show at each event; a command stays at the prompt until
# ENTER or next.
check "watch and the prompt's commands" 'x: 5 y: 6 debug [x: x + 1] print x' \
  $'-s\n+w x\n\nw y\nfoo\n:x\n:1\n-w x\n\nc\n' \
'-----> EVAL x:
Input: x: x + 1

-empty stack-
debug> debug> debug> -----> PUSH x:
Input: x + 1
Watch: x: 5
debug> debug> Unknown command!
debug> == 5
debug> == 1
debug> debug> -----> EVAL x
Input: x + 1
Watch: y: 6
debug> 6'

check "help" 'debug [1]' $'?\nc\n' \
"-----> EVAL 1
Input: 1

-empty stack-
debug> $(printf '\t%s\n' \
  '`help` or `?`: print a list of debugger'"'"'s commands.' \
  '`next` or `n` or just ENTER: evaluate next value.' \
  '`continue` or `c`: exit debugging console but continue evaluation.' \
  '`quit` or `q`: exit debugger and stop evaluation.' \
  '`stack` or `s`: display the current calls and expression stack.' \
  '`parents` or `p`: display the parents call stack.' \
  '`:word`: outputs the value of `word`. If it is a `function!`, outputs the local context.' \
  '`:a/b/c`: outputs the value of `a/b/c` path.' \
  '`watch <word1> <word2>...`: watch one or more words. `w` can be used as shortcut for `watch`.' \
  '`-watch <word1> <word2>...`: stop watching one or more words. `-w` can be used as shortcut for `-watch`.' \
  '`+stack`  or `+s`: outputs expression stack on each new event.' \
  '`-stack`  or `-s`: do not output expression stack on each new event.' \
  '`+locals` or `+l`: output local context for each entry in the callstack.' \
  '`-locals` or `-l`: do not output local context for each entry in the callstack.' \
  '`+indent` or `+i`: indent the output of the expression stack.' \
  '`-indent` or `-i`: do not indent the output of the expression stack.')
	
debug> "

# Without a console the lines are cut at 72 columns, less one.
check "long values are cut" \
  'debug [[aaaaaaaaaa bbbbbbbbbb cccccccccc dddddddddd eeeeeeeeee ffffffffff gggggggggg] 1]' $'c\n' \
'-----> EVAL [aaaaaaaaaa bbbbbbbbbb cccccccccc dddddddddd eeeeeeeeee fff
Input: [aaaaaaaaaa bbbbbbbbbb cccccccccc dddddddddd eeeeeeeeee ffffffff

-empty stack-
debug> '

# +i indents each value of an expression under the value that opened it.
check "indented stack" 'debug [x: 1 + 2]' $'+i\nn\nn\nn\nn\nn\nc\n' \
'-----> EVAL x:
Input: x: 1 + 2

-empty stack-
debug> debug> -----> PUSH x:
Input: 1 + 2

Stack: x:

debug> -----> EVAL 1
Input: 1 + 2

Stack: x:

debug> -----> PUSH 1
Input: + 2

Stack: x:
Stack:   1

debug> -----> EVAL +
Input: + 2

Stack: x:
Stack:   1

debug> -----> OPEN +
Input: 2

Stack: x:
Stack:   1
Stack:   +

debug> '

check "/later wakes up at @stop" 'debug/later [print 1 @stop print 2] print 3' $'c\n' \
'1
-----> EVAL @stop
Input: @stop print 2

-empty stack-
debug> 2
3'

# The calls from debug down to the current one, with their locals after +l.
check "parents and locals" \
  'g: func [a /local b] [b: a * 2 @stop b + 1] f: func [x] [g x] debug/later [f 1]' $'-s\n+l\np\n:g\nc\n' \
'-----> EVAL @stop
Input: @stop b + 1

Stack: f
Stack: 1
Stack: g
Stack: 1

debug> debug> debug> Call: f
  > x         : 1
Call: g
  > a         : 1
  > local     : none
  > b         : 2
debug>   > a         : 1
  > local     : none
  > b         : 2
debug> '

check "quit stops the evaluation" 'debug [print 1] print 2' $'q\n' \
'-----> EVAL print
Input: print 1

-empty stack-
debug> '

# An error stops in the debugger even when it is not active, then goes on as usual.
check "an error stops" 'f: func [] [1 / 0] e: try [debug/later [print 0 f]] print e/id' $'c\n' \
"0
-----> ERROR make error! [code: 400 type: 'math id: 'zero-divide arg1: 
Input: 1 / 0

Stack: f
Stack: /
Stack: 0

debug> zero-divide"

# At the end of the input nothing is waited for: every event is reported and the code ends.
check "no input" 'debug [1 + 2] print "end"' '' \
'-----> EVAL 1
Input: 1 + 2

-empty stack-
debug> -----> PUSH 1
Input: + 2

Stack: 1

debug> -----> EVAL +
Input: + 2

-empty stack-
debug> -----> OPEN +
Input: 2

Stack: +

debug> -----> EVAL 2
Input: 2

Stack: +

debug> -----> PUSH 2
Input: 

Stack: +
Stack: 2

debug> -----> CALL + (action!)
Input: 

Stack: +
Stack: 2

debug> -----> RETURN 3
Input: 

Stack: 3

debug> end'

exit $failed

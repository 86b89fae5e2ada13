-- Parse over a text: the pattern engine finds the tokens, interpreted code counts them,
-- as the parse rules' actions do. Patterns have no alternation; a letter never touches
-- a digit in the input, so a run of either is one token and its first byte tells which.
local function count_tokens(text)
  local words, numbers = 0, 0
  for token in string.gmatch(text, "[A-Za-z0-9]+") do
    if string.byte(token, 1) > 57 then
      words = words + 1
    else
      numbers = numbers + 1
    end
  end
  return words, numbers
end

local f = assert(io.open("parse-input.txt", "rb"))
local words, numbers = count_tokens(f:read("a"))
f:close()
print(words .. " " .. numbers)

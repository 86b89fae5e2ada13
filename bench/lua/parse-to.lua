-- Parse up to a character set: the pattern engine finds each run of digits, interpreted
-- code counts them, as the rule's action does.
local function count_numbers(text)
  local n = 0
  for _ in string.gmatch(text, "%d+") do
    n = n + 1
  end
  return n
end

local f = assert(io.open("parse-input.txt", "rb"))
local text = f:read("a")
f:close()
print(count_numbers(text))

-- Parse through a text to a string: a plain find steps to each comma, interpreted code
-- counts them, as the rule's action does.
local function count_commas(text)
  local n, i = 0, 1
  while true do
    local at = string.find(text, ",", i, true)
    if not at then break end
    n = n + 1
    i = at + 1
  end
  return n
end

local f = assert(io.open("parse-input.txt", "rb"))
local text = f:read("a")
f:close()
print(count_commas(text))

-- Find in a large text: a plain find from the last match on, interpreted code counts.
local function count_word(text, word)
  local n, i = 0, 1
  while true do
    local _, last = string.find(text, word, i, true)
    if not last then break end
    n = n + 1
    i = last + 1
  end
  return n
end

local f = assert(io.open("parse-input.txt", "rb"))
local text = f:read("a")
f:close()
print(count_word(text, "delta") .. " " .. count_word(text, "x,"))

-- Counting while loop.
local function count_to(n)
  local i = 0
  while i < n do
    i = i + 1
  end
  return i
end

print(count_to(10000000))

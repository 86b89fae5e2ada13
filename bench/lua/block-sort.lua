-- Block building and sort; the same generator as the other languages.
local function random_list(n)
  local b = {}
  local x = 1
  for i = 1, n do
    x = (x * 1021 + 1) % 1048576
    b[i] = x
  end
  return b
end

local b = random_list(1000000)
table.sort(b)
print(string.format("%d %d %d %d", #b, b[1], b[500000], b[#b]))

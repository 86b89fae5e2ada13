-- Collect values into a block: keep is an interpreted function appending to the table, as
-- the body's keep is.
local function gather(n)
  local collected = {}
  local function keep(v)
    collected[#collected + 1] = v
    return v
  end
  for i = 1, n do
    if i % 2 == 1 then keep(i) end
    if i % 10 == 0 then keep({i, i * 2}) end
  end
  return collected
end

local out = gather(1000000)
print(#out .. " " .. out[1] .. " " .. out[#out][2])

-- Join values into texts: each value formed and the pieces joined.
local function build(n)
  local total = 0
  for i = 1, n do
    local s = table.concat({"row-", tostring(i), ":", tostring(i * 3), "/", tostring(i - 7), "#"})
    total = total + #s
  end
  return total
end

print(build(300000))

-- String building. Text is immutable here: a table of pieces is the growable buffer,
-- concatenated once at the end.
local function build(n)
  local parts = {}
  for i = 1, n do
    parts[i] = "ab"
  end
  return table.concat(parts)
end

print(#build(2000000))

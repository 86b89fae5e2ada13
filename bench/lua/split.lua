-- Split a large text: a loop of plain finds that copies each piece, as Tav's library does.
local function split(text, delimiter)
  local out, start = {}, 1
  while true do
    local at = string.find(text, delimiter, start, true)
    if not at then
      out[#out + 1] = string.sub(text, start)
      return out
    end
    out[#out + 1] = string.sub(text, start, at - 1)
    start = at + #delimiter
  end
end

local f = assert(io.open("parse-input.txt", "rb"))
local text = f:read("a")
f:close()
local words = split(text, " ")
local lines = split(text, "\n")
local total = 0
for _, line in ipairs(lines) do
  total = total + #line
end
print(#words .. " " .. #lines .. " " .. total .. " " .. #words[#words])

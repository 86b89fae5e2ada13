-- Replace every occurrence in a large text: gsub with patterns that hold no magic
-- characters (the dot escaped), a growing and a shrinking replacement.
local f = assert(io.open("parse-input.txt", "rb"))
local text = f:read("a")
f:close()
text = string.gsub(text, "delta", "DELTA-4")
text = string.gsub(text, "%.", "!?")
text = string.gsub(text, "lima", "L")
print(#text .. " " .. string.find(text, "DELTA-4", 1, true) .. " " .. string.find(text, "L", 1, true))

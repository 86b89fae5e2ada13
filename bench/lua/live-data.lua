-- Live data: every value made stays reachable, so the collector meets an ever larger heap.
local objects = {}
for i = 1, 1000000 do objects[i] = {a = 1} end
local blocks = {}
for i = 1, 1000000 do blocks[i] = {1, 2} end
print(#objects .. " " .. #blocks)

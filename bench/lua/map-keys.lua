-- Map put, select and remove: a table with integer keys, then text keys.

local function churn(keys)
  local m = {}
  for _, k in ipairs(keys) do m[k] = 1 end
  local total = 0
  for _, k in ipairs(keys) do total = total + m[k] end
  for i = 1, #keys, 2 do m[keys[i]] = nil end
  for _, k in ipairs(keys) do
    if m[k] then total = total + 1 end
  end
  return total
end

local n = 300000
local numbers, texts = {}, {}
for i = 1, n do
  numbers[#numbers + 1] = i * 7919
  texts[#texts + 1] = "k" .. i
end
print(churn(numbers) .. " " .. churn(texts))

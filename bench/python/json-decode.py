# JSON decode: Python's json module, whose scanner is in C.
import json

with open("json-input.json", encoding="utf-8") as f:
    data = json.loads(f.read())
total = 0
score = 0.0
for record in data:
    total = total + len(record["name"])
    score = score + record["score"]
print(len(data), total, int(score))

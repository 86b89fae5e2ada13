# JSON encode and decode: Python's json module, whose scanner and encoder are in C.
import json

records = []
for i in range(1, 100001):
    records.append({"id": i, "name": "item-" + str(i), "score": i * 0.25,
                    "tags": ["a", "b"], "active": i % 2 == 0})
text = json.dumps(records, separators=(",", ":"), ensure_ascii=False)
data = json.loads(text)
total = 0
for record in data:
    total = total + len(record["name"])
print(len(text), len(data), total)

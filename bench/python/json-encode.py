# JSON encode: Python's json module, whose encoder is in C.
import json

records = []
for i in range(1, 100001):
    records.append({"id": i, "name": "item-" + str(i), "score": i * 0.25,
                    "tags": ["a", "b"], "active": i % 2 == 0})
text = json.dumps(records, separators=(",", ":"), ensure_ascii=False)
print(len(text), text[:60])

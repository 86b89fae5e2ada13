"""Writes the input of the JSON decoding benchmark: 100,000 records (an integer, a text, a
float, a block of two texts and a logic) as one compact JSON text, the same bytes on every
run."""
import json
import sys


def main():
    path, count = sys.argv[1], int(sys.argv[2])
    records = [{"id": i, "name": "item-" + str(i), "score": i * 0.25, "tags": ["a", "b"],
                "active": i % 2 == 0} for i in range(1, count + 1)]
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(json.dumps(records, separators=(",", ":"), ensure_ascii=False))


main()

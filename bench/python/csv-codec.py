# CSV write and read: Python's csv module, whose reader and writer are in C.
import csv
import io

rows = []
for i in range(1, 100001):
    rows.append([i, "item-" + str(i), i * 0.25, "x,y", 'say "hi"'])
out = io.StringIO()
csv.writer(out, lineterminator="\n").writerows(rows)
text = out.getvalue()
data = list(csv.reader(io.StringIO(text)))
total = 0
for row in data:
    total = total + len(row[1])
print(len(text), len(data), total)

# Live data: every value made stays reachable, so the collector meets an ever larger heap.
objects = []
for _ in range(1000000):
    objects.append({'a': 1})
blocks = []
for _ in range(1000000):
    blocks.append([1, 2])
print(len(objects), len(blocks))

# Collect values into a block: keep is an interpreted function appending to the list, as
# the body's keep is.


def gather(n):
    collected = []

    def keep(v):
        collected.append(v)
        return v

    for i in range(1, n + 1):
        if i % 2 == 1:
            keep(i)
        if i % 10 == 0:
            keep([i, i * 2])
    return collected


out = gather(1000000)
print(len(out), out[0], out[-1][-1])

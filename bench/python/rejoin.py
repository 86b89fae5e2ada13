# Join values into texts: each value formed and the pieces joined, as rejoin reduces its
# block and appends each value to the first.


def build(n):
    total = 0
    for i in range(1, n + 1):
        s = "".join(["row-", str(i), ":", str(i * 3), "/", str(i - 7), "#"])
        total = total + len(s)
    return total


print(build(300000))

# String building. Text is immutable here: a list of pieces is the growable buffer,
# joined once at the end.


def build(n):
    parts = []
    for _ in range(n):
        parts.append("ab")
    return "".join(parts)


print(len(build(2000000)))

# Block building and sort; the same generator as the other languages.


def random_list(n):
    b = []
    x = 1
    for _ in range(n):
        x = (x * 1021 + 1) % 1048576
        b.append(x)
    return b


b = random_list(1000000)
b.sort()
print(len(b), b[0], b[499999], b[-1])

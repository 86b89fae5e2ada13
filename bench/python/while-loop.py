# Counting while loop.


def count_to(n):
    i = 0
    while i < n:
        i = i + 1
    return i


print(count_to(10000000))

# Map put, select and remove: a dict with integer keys, then text keys.


def churn(keys):
    m = {}
    for k in keys:
        m[k] = 1
    total = 0
    for k in keys:
        total = total + m[k]
    for k in keys[0::2]:
        del m[k]
    for k in keys:
        if k in m:
            total = total + 1
    return total


n = 300000
numbers = []
texts = []
for i in range(1, n + 1):
    numbers.append(i * 7919)
    texts.append("k" + str(i))
print(churn(numbers), churn(texts))

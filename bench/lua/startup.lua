-- Start-up to the first evaluation.
print(1 + 1)

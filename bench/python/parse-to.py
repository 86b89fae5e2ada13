# Parse up to a character set: the pattern engine finds each run of digits, interpreted
# code counts them, as the rule's action does.
import re

NUMBER = re.compile("[0-9]+")


def count_numbers(text):
    n = 0
    for _ in NUMBER.finditer(text):
        n = n + 1
    return n


with open("parse-input.txt", encoding="utf-8") as f:
    print(count_numbers(f.read()))

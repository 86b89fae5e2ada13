# Parse through a text to a string: the pattern engine finds each comma, interpreted code
# counts them, as the rule's action does.
import re

COMMA = re.compile(",")


def count_commas(text):
    n = 0
    for _ in COMMA.finditer(text):
        n = n + 1
    return n


with open("parse-input.txt", encoding="utf-8") as f:
    print(count_commas(f.read()))

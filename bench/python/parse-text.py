# Parse over a text: the pattern engine finds the tokens, interpreted code counts them,
# as the parse rules' actions do.
import re

TOKEN = re.compile(r"([A-Za-z]+)|([0-9]+)")


def count_tokens(text):
    words = 0
    numbers = 0
    for match in TOKEN.finditer(text):
        if match.lastindex == 1:
            words = words + 1
        else:
            numbers = numbers + 1
    return words, numbers


with open("parse-input.txt", encoding="utf-8") as f:
    print(*count_tokens(f.read()))

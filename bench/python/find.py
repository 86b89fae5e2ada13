# Find in a large text: str.find from the last match on, interpreted code counts.


def count_word(text, word):
    n = 0
    at = text.find(word)
    while at >= 0:
        n = n + 1
        at = text.find(word, at + len(word))
    return n


with open("parse-input.txt", encoding="utf-8") as f:
    text = f.read()
print(count_word(text, "delta"), count_word(text, "x,"))

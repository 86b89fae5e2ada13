# Replace every occurrence in a large text: str.replace, a growing and a shrinking
# replacement and one of the same length.
with open("parse-input.txt", encoding="utf-8") as f:
    text = f.read()
text = text.replace("delta", "DELTA-4")
text = text.replace(".", "!?")
text = text.replace("lima", "L")
print(len(text), text.find("DELTA-4") + 1, text.find("L") + 1)

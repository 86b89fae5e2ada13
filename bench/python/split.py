# Split a large text: the library's split as Tav has it, a loop of finds that copies each
# piece (str.split would be one C call where Tav runs interpreted code).


def split(text, delimiter):
    out = []
    start = 0
    while True:
        at = text.find(delimiter, start)
        if at < 0:
            out.append(text[start:])
            return out
        out.append(text[start:at])
        start = at + len(delimiter)


with open("parse-input.txt", encoding="utf-8") as f:
    text = f.read()
words = split(text, " ")
lines = split(text, "\n")
total = 0
for line in lines:
    total = total + len(line)
print(len(words), len(lines), total, len(words[-1]))

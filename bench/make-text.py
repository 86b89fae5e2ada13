"""Writes the input of the parse benchmark: words and numbers between blanks and
punctuation, the same bytes on every run. A letter never touches a digit, so every
language splits the text into the same tokens."""
import sys

WORDS = ("alpha", "Bravo", "charlie", "delta", "Echo", "foxtrot", "golf", "hotel",
         "india", "Juliett", "kilo", "lima", "mike", "November", "oscar", "papa",
         "quebec", "Romeo", "sierra", "tango", "uniform", "victor", "whiskey", "x",
         "yankee", "zulu")
SEPARATORS = (" ", " ", " ", ", ", ". ", "; ", " - ", "\n")


def main():
    path, size = sys.argv[1], int(sys.argv[2])
    x = 12345
    out = []
    length = 0
    while length < size:
        x = (x * 1103515245 + 12345) % 2147483648
        r = x >> 8
        if r % 4 == 0:
            token = str(r % 100000)
        else:
            token = WORDS[r % len(WORDS)]
        token += SEPARATORS[(r >> 5) % len(SEPARATORS)]
        out.append(token)
        length += len(token)
    with open(path, "w", encoding="ascii", newline="\n") as f:
        f.write("".join(out)[:size])


main()

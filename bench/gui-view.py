# A window of 200 widgets: its first painted frame, then 1,000 text changes each shown.
# Prints two lines: "first-frame MS" and "changes MS".
import time
import tkinter as tk

start = time.perf_counter()
root = tk.Tk()
root.title("tk-bench")
root.geometry("980x700+50+50")
widgets = []
for kind in ("text", "field", "button"):
    for i in range(1, 67):
        n = len(widgets)
        x, y = 10 + n % 10 * 96, 10 + n // 10 * 30
        text = "%s %d" % (kind, i)
        if kind == "text":
            w = tk.Label(root, text=text, anchor="w")
        elif kind == "field":
            w = tk.Entry(root)
            w.insert(0, text)
        else:
            w = tk.Button(root, text=text)
        w.place(x=x, y=y, width=90, height=24)
        widgets.append(w)
canvas = tk.Canvas(root, background="#e6e6fa", highlightthickness=0)
canvas.place(x=10, y=620, width=200, height=60)
canvas.create_rectangle(10, 10, 190, 50, outline="#000080", fill="#fac800")
canvas.create_oval(80, 10, 120, 50, outline="#000080", fill="#fac800")
label = widgets[0]
root.update()
first_frame = time.perf_counter() - start

start = time.perf_counter()
for i in range(1, 1001):
    label.configure(text=str(i))
    # The idle pass redraws what changed.
    root.update_idletasks()
changes = time.perf_counter() - start
print("first-frame %.2f" % (first_frame * 1000))
print("changes %.2f" % (changes * 1000))
root.destroy()

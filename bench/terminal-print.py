# IDLE's shell window prints the same lines: its interpreter runs the loop in-process, each
# print going through the shell's output file into its text widget. Prints "print MS" and the
# last line shown.
import os
import sys
import time
import tkinter as tk

from idlelib import pyshell

n = int(os.environ.get("BENCH_LINES", "100000"))
pyshell.use_subprocess = False
root = tk.Tk(className="Idle")
root.withdraw()
shell = pyshell.PyShellFileList(root).open_shell()
root.update()
out = sys.__stdout__
start = time.perf_counter()
shell.interp.runsource("for i in range(%d): print('line', i)\n" % n)
root.update()
ms = (time.perf_counter() - start) * 1000
out.write("print %d\n" % ms)
out.write("last %r\n" % shell.text.get("end-2l linestart", "end-2l lineend"))

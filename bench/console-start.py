"""Times one start of a console, from launching its process to its prompt being up.

Usage: python3 console-start.py tav|idle|wish TAV-BINARY TRACE-FILE
Prints "start MS". Each console tells by itself that its prompt is up: tav's backend writes
"loop 1" to its trace file when the prompt has been painted and the console waits for keys;
IDLE runs a command (-c) in its shell once the shell is up, which writes to the inherited
standard output; the wish script writes "ready" after its prompt is drawn (`update`).
"""
import os
import subprocess
import sys
import time

kind, tav, trace = sys.argv[1], sys.argv[2], sys.argv[3]
here = os.path.dirname(os.path.abspath(__file__))
if kind == "tav":
    cmd = [tav]
elif kind == "idle":
    cmd = [sys.executable, "-m", "idlelib", "-c",
           "import sys; sys.__stdout__.write('ready\\n'); sys.__stdout__.flush()"]
else:
    cmd = ["wish", os.path.join(here, "console-start.tcl")]

if os.path.exists(trace):
    os.remove(trace)
start = time.perf_counter()
proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                        env=dict(os.environ, TAV_GUI_TRACE=trace))
if kind == "tav":
    while True:
        try:
            with open(trace) as f:
                if "loop 1\n" in f.read():
                    break
        except FileNotFoundError:
            pass
        if proc.poll() is not None:
            sys.exit("tav ended before its prompt")
        time.sleep(0.001)
else:
    for line in proc.stdout:
        if line.strip() == b"ready":
            break
    else:
        sys.exit(kind + " ended before its prompt")
elapsed = (time.perf_counter() - start) * 1000
proc.kill()
proc.wait()
print("start %.1f" % elapsed)

"""Runs one command and prints its wall time and its CPU time (user + system) in seconds
and its exit status ("timeout" when it had to be stopped).

usage: measure.py TIMEOUT-SECONDS STDOUT-FILE STDERR-FILE COMMAND [ARG...]

The clock stops when wait4 returns, not on a polling tick, so short runs such as
start-up are timed to the microsecond; wait4 also hands back the child's own CPU time.
(Its peak memory is no use here: a child forked from this interpreter inherits its
high-water mark.)"""
import os
import signal
import subprocess
import sys
import threading
import time


def main():
    timeout = float(sys.argv[1])
    out_path, err_path, command = sys.argv[2], sys.argv[3], sys.argv[4:]
    timed_out = threading.Event()
    with open(out_path, "wb") as out, open(err_path, "wb") as err:
        start = time.perf_counter()
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                 start_new_session=True)

        def stop():
            timed_out.set()
            os.killpg(child.pid, signal.SIGKILL)  # with whatever it started

        timer = threading.Timer(timeout, stop)
        timer.start()
        _, status, usage = os.wait4(child.pid, 0)
        elapsed = time.perf_counter() - start
        timer.cancel()
        child.returncode = 0  # reaped above; keeps Popen from waiting again
    if timed_out.is_set():
        code = "timeout"
    else:
        code = str(os.waitstatus_to_exitcode(status))
    print(f"{elapsed:.6f} {usage.ru_utime + usage.ru_stime:.6f} {code}")


main()

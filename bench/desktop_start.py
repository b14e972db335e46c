#!/usr/bin/env python3
"""Start-up of the desktop window and the memory of the idle main window.

Starts the program under a virtual X display (xvfb-run) with a decrypting ID set, RUNS times
(default 5): the time from the start of the process to the first paint of its main window,
and its peak resident memory after it sat idle for a second and then closed.
Usage: bench/desktop_start.py [DECRYPT] [RUNS]"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
source = os.path.dirname(here)
decrypt = sys.argv[1] if len(sys.argv) > 1 else os.path.join(source, "build/default/decrypt")
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
if not os.environ.get("QM_UNDER_XVFB"):
    xvfb = shutil.which("xvfb-run")
    if not xvfb:
        sys.exit("xvfb-run not found (Debian: xvfb xauth)")
    env = dict(os.environ, QM_UNDER_XVFB="1")
    sys.exit(subprocess.call([xvfb, "-a", sys.executable, __file__, decrypt, str(runs)], env=env))

work = tempfile.mkdtemp(prefix="qm_start_")
try:
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=work + "/cfg", XDG_DATA_HOME=work + "/data",
               XDG_RUNTIME_DIR=work, QUILLMAR_CLOSE_REQUEST=work + "/close", QUILLMAR_REPORT_SHOWN="1")
    env.pop("QT_QPA_PLATFORM", None)
    for name in ("demo.sec", "demo.P7M"):
        shutil.copy(os.path.join(source, "samples", name), work)
    subprocess.run([decrypt, "--batch", "--change", work + "/demo.sec"], env=env, check=True)
    starts, peaks = [], []
    for _ in range(runs + 1):   # the first run warms the caches and is not counted
        started = time.time()
        child = subprocess.Popen([decrypt], env=env, stdin=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        shown = None
        for line in child.stderr:
            if line.startswith("window shown "):
                shown = int(line.split()[2]) / 1000.0
                break
        time.sleep(1.0)
        open(work + "/close", "w").close()
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = status
        if shown is None:
            sys.exit("the window did not report its first paint")
        starts.append((shown - started) * 1000.0)
        peaks.append(usage.ru_maxrss / 1024.0)
    starts, peaks = starts[1:], peaks[1:]
    print("start to main window shown: median %.0f ms (min %.0f, max %.0f) over %d runs"
          % (statistics.median(starts), min(starts), max(starts), runs))
    print("peak RSS with the idle main window: %.1f MB (max over the runs)" % max(peaks))
finally:
    shutil.rmtree(work, ignore_errors=True)

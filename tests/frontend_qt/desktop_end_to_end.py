#!/usr/bin/env python3
"""The program with its windows on a virtual X display: a file named at the start and one
handed over by a second start are decrypted by the running window, which then closes when
asked; with a display that does not answer the program goes on without windows.
Usage: desktop_end_to_end.py DECRYPT SOURCE_DIR (exit 77 without xvfb-run)."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

decrypt, source = sys.argv[1], sys.argv[2]
if not os.environ.get("QM_UNDER_XVFB"):
    xvfb = shutil.which("xvfb-run")
    if not xvfb:
        print("xvfb-run not found: skipped")
        sys.exit(77)
    env = dict(os.environ, QM_UNDER_XVFB="1")
    env.pop("WAYLAND_DISPLAY", None)
    sys.exit(subprocess.call([xvfb, "-a", sys.executable] + sys.argv, env=env))


def wait_for(path, seconds, process=None):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path):
            return True
        if process is not None and process.poll() is not None:
            return False
        time.sleep(0.05)
    return False


work = tempfile.mkdtemp(prefix="qm_desktop_")
failures = []
try:
    env = dict(os.environ, HOME=work, XDG_CONFIG_HOME=work + "/cfg", XDG_DATA_HOME=work + "/data",
               XDG_RUNTIME_DIR=work, QUILLMAR_CLOSE_REQUEST=work + "/close")
    env.pop("QT_QPA_PLATFORM", None)
    os.mkdir(work + "/later")
    for name in ("demo.sec", "demo.P7M", "demo.p7m"):
        shutil.copy(os.path.join(source, "samples", name), work)
    shutil.copy(os.path.join(source, "samples", "demo.p7m"), work + "/later")
    # The decrypting ID, set without a window.
    subprocess.run([decrypt, "--batch", "--change", work + "/demo.sec"], env=env, check=True, timeout=30)

    first = subprocess.Popen([decrypt, work + "/demo.p7m"], env=env, stdin=subprocess.DEVNULL)
    if not wait_for(work + "/Decrypt/Msg.txt", 30, first):
        failures.append("the file named at the start was not decrypted")
    second = subprocess.run([decrypt, work + "/later/demo.p7m"], env=env, stdin=subprocess.DEVNULL, timeout=30)
    if second.returncode != 0:
        failures.append("the second start ended with %d" % second.returncode)
    if not wait_for(work + "/later/Decrypt/Msg.txt", 30, first):
        failures.append("the handed-over file was not decrypted")
    # A display that does not answer: no windows, said so, and the work done without them.
    os.mkdir(work + "/nodisplay")
    shutil.copy(os.path.join(source, "samples", "demo.p7m"), work + "/nodisplay")
    unreachable = subprocess.run([decrypt, "--key", work + "/demo.sec", work + "/nodisplay/demo.p7m"],
                                 env=dict(env, DISPLAY=":4093"), stdin=subprocess.DEVNULL,
                                 capture_output=True, text=True, timeout=30)
    if unreachable.returncode != 0 or "decrypt: no windows (no display answers" not in unreachable.stderr \
            or not os.path.exists(work + "/nodisplay/Decrypt/Msg.txt"):
        failures.append("with a display that does not answer: %d %r" % (unreachable.returncode, unreachable.stderr))
    open(work + "/close", "w").close()
    try:
        status = first.wait(timeout=30)
        if status != 0:
            failures.append("the window's program ended with %d" % status)
    except subprocess.TimeoutExpired:
        first.kill()
        failures.append("the window did not close when asked")
finally:
    shutil.rmtree(work, ignore_errors=True)

for failure in failures:
    print("FAILED:", failure)
print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
sys.exit(1 if failures else 0)

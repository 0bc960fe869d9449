# quab-export's progress line, for a video and for a web page: on a terminal one line rewritten
# in place (share done, show time done of the show's length, time spent, time left) that ends
# at 100% with the whole show done; where standard error is not a terminal, nothing on it.
# usage: progress.py BUILD_DIR
import os
import pty
import re
import shutil
import subprocess
import sys
import tempfile

BUILD = os.path.abspath(sys.argv[1])
WORK = tempfile.mkdtemp(prefix="quab-progress-")
LINE = re.compile(r"\r *(\d+)%  (\d+:\d\d) of (\d+:\d\d) of the show  (\d+:\d\d) elapsed"
                  r"  (\d+:\d\d|-:--) left ")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def tool(name, *args):
    subprocess.run([os.path.join(BUILD, name), *args], cwd=WORK, check=True,
                   stdout=subprocess.DEVNULL)


# A show of 30 song positions of 16 rows at speed 3 and 125 BPM: 48 ticks of 20 ms a position,
# 0.96 s; the show ends where position 30 starts, at 28.8 s: "0:29" rounded.
tool("quab-testassets", "test.dat")
tool("quab-testmod", "test.xm", "--positions", "32", "--rows", "16", "--speed", "3", "--bpm",
     "125")
# --no-fit: the song's own positions, which the times above count.
EXPORT = [os.path.join(BUILD, "quab-export"), "--no-fit", "--assets", "test.dat", "--music",
          "test.xm"]

for out, extra in (("show.mkv", ["--scale", "1", "--fps", "10"]), ("show.html", [])):
    if out.endswith(".html") and not os.path.exists(os.path.join(BUILD, "web", "quab.wasm")):
        print("no web build: the page's progress is not checked")
        continue
    # Standard error on a pseudo-terminal.
    master, slave = pty.openpty()
    child = subprocess.Popen(EXPORT + extra + [out], cwd=WORK, stdout=subprocess.DEVNULL,
                             stderr=slave)
    os.close(slave)
    text = b""
    while True:
        try:
            chunk = os.read(master, 4096)
        except OSError:  # the terminal is gone with the last writer
            break
        if not chunk:
            break
        text += chunk
    os.close(master)
    check(child.wait() == 0, f"{out}: quab-export ends well on a terminal")
    text = text.decode()
    lines = LINE.findall(text)
    check(lines, f"{out}: a progress line on the terminal: {text!r}")
    if lines:
        share, done, total, elapsed, left = lines[-1]
        check(share == "100" and done == total == "0:29", f"{out}: ends at 100%: {lines[-1]}")
        shares = [int(line[0]) for line in lines]
        check(shares == sorted(shares), f"{out}: the share only grows: {shares}")
    # The line is rewritten in place and ended once.
    check(text.count("\n") == 1 and text.endswith("\n"), f"{out}: one line: {text!r}")

    # Standard error a pipe: nothing on it.
    os.remove(os.path.join(WORK, out))
    result = subprocess.run(EXPORT + extra + [out], cwd=WORK, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    check(result.returncode == 0, f"{out}: quab-export ends well without a terminal")
    check(result.stderr == "", f"{out}: nothing on a standard error that is a pipe: "
          f"{result.stderr!r}")

if failures:
    sys.exit(f"{len(failures)} failures; the work is kept in {WORK}")
shutil.rmtree(WORK)
print("progress lines as expected")

# quab-export's .html output as a file: what the page holds (the web build's module, the asset
# file through gzip, one song position and row per tick, Ogg Opus sound, nothing fetched from
# the network), written all or nothing, refused over a device or a directory, the usage line for
# a bad option, and the message naming emscripten where the web build is missing; found in
# share/quab/web where installed; a warning past 20 MB.
# usage: html_output.py BUILD_DIR
import base64
import gzip
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

BUILD = os.path.abspath(sys.argv[1])
WORK = tempfile.mkdtemp(prefix="quab-html-")
EXPORT = os.path.join(BUILD, "quab-export")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def run(argv, env=None):
    return subprocess.run(argv, cwd=WORK, capture_output=True, text=True, env=env)


def names():
    return sorted(os.listdir(WORK))


run([os.path.join(BUILD, "quab-testassets"), "test.dat"])
# 31 positions of one 4-row pattern at speed 2: 8 ticks a position, so the show's 30 positions
# take 240 ticks; the mix stops where position 30 starts.
run([os.path.join(BUILD, "quab-testmod"), "test.xm", "--positions", "31", "--rows", "4",
     "--speed", "2", "--bpm", "125"])
# --no-fit: the song's own positions, which the tick counts below follow.
SHOW = [EXPORT, "--no-fit", "--assets", "test.dat", "--music", "test.xm"]

# The page and what it holds.
r = run(SHOW + ["page.html"])
check(r.returncode == 0, "the page is written: " + r.stderr)
check(r.stdout.endswith("page.html: web page, 240 ticks (4.80 s), 0.1 MB\n") or
      re.search(r"page\.html: web page, 240 ticks \(4\.80 s\), [\d.]+ MB\n$", r.stdout),
      "the summary line: " + r.stdout)
page = open(os.path.join(WORK, "page.html")).read()
parts = dict(re.findall(r'<script type="[^"]+" id="(\w+)">([^<]*)</script>', page))
check(sorted(parts) == ["assets", "show", "sound", "ticks", "wasm"], f"the parts: {sorted(parts)}")
wasm = base64.b64decode(parts["wasm"])
check(wasm == open(os.path.join(BUILD, "web", "quab.wasm"), "rb").read(), "the web build's module")
assets = gzip.decompress(base64.b64decode(parts["assets"]))
check(assets == open(os.path.join(WORK, "test.dat"), "rb").read(), "the asset file, gzip'd")
ticks = gzip.decompress(base64.b64decode(parts["ticks"]))
words = [int.from_bytes(ticks[i:i + 2], "little") for i in range(0, len(ticks), 2)]
expected = []
for tick in range(240):
    row_tick = tick // 2  # speed 2: a row every two ticks
    expected += [row_tick // 4, row_tick % 4]
check(words == expected, "position and row of each tick: rows of 2 ticks, positions of 4 rows")
check(base64.b64decode(parts["sound"])[:4] == b"OggS", "the sound is Ogg")
check("OpusHead" in base64.b64decode(parts["sound"])[:200].decode("latin-1"), "Opus in Ogg")
check(not re.search(r"https?:|fetch\(|XMLHttpRequest|import\(", page.split('id="show"')[0] +
                    page.split('id="sound"')[1].split("</script>", 1)[1]),
      "nothing is fetched from the network")
# The page's clock, frame and scenes come from here: 882 samples a tick at 44,100 Hz (50 ticks
# a second), 320x240, eight scenes.
show = json.loads(parts["show"])
check({k: show.get(k) for k in ("rate_hz", "samples_per_tick", "width", "height")} ==
      {"rate_hz": 44100, "samples_per_tick": 882, "width": 320, "height": 240},
      f"the show description's clock and frame: {parts['show']}")
check(len(show.get("scenes", [])) == 8 and show["scenes"][0] == "masked twin scroll",
      "the scene names for the title")
# The seek bar's marks: each scene starts one position after the last of the scene before
# (Scene 1 ends at 6, Scene 2 at 9, then 11, 13, 17, 20, 21).
check(show.get("scene_positions") == [0, 7, 10, 12, 14, 18, 21, 22],
      f"the scenes' first positions: {show.get('scene_positions')}")
check(not re.search(r"\b(44100|882)\b", page.split('id="sound"')[1].split("</script>", 1)[1]),
      "the page's script copies no clock constant")

# A bad option: the problem and where to read the usage, exit status 2, nothing written.
before = names()
r = run(SHOW + ["--bogus", "bad.html"])
check(r.returncode == 2 and "unknown option --bogus" in r.stderr and
      "Try 'quab-export --help'." in r.stderr, "a bad option: " + r.stderr)
check(names() == before, "a bad option writes nothing")

# A device or a directory is refused; the device stays one.
os.symlink("/dev/null", os.path.join(WORK, "device.html"))
os.mkdir(os.path.join(WORK, "folder.html"))
before = names()
for out in ("device.html", "folder.html"):
    r = run(SHOW + [out])
    check(r.returncode == 2 and r.stderr.startswith("quab-export: " + out),
          f"{out} is refused: {r.stderr}")
check(names() == before, "nothing is left beside a refused output")
check(os.path.islink(os.path.join(WORK, "device.html")) and not os.path.isfile("/dev/null"),
      "the device is untouched")

# All or nothing: where ffmpeg fails, the page already there stays as it was and no temporary
# is left behind.
fake = os.path.join(WORK, "bin")
os.mkdir(fake)
with open(os.path.join(fake, "ffmpeg"), "w") as f:
    f.write("#!/bin/sh\necho 'no encoder today' >&2\nexit 1\n")
os.chmod(os.path.join(fake, "ffmpeg"), 0o755)
before = names()
old = open(os.path.join(WORK, "page.html")).read()
r = run(SHOW + ["page.html"], env=dict(os.environ, PATH=fake + ":" + os.environ["PATH"]))
check(r.returncode != 0 and "no encoder today" in r.stderr, "ffmpeg's failure is told: " +
      r.stderr)
check(names() == before and open(os.path.join(WORK, "page.html")).read() == old,
      "a failed export leaves the old page and nothing else")

# Without the web build beside it, quab-export names the package that makes it.
lonely = os.path.join(WORK, "lonely")
os.mkdir(lonely)
shutil.copy(EXPORT, lonely)
r = run([os.path.join(lonely, "quab-export")] + SHOW[1:] + ["other.html"])
check(r.returncode == 1 and "emscripten" in r.stderr and ".html" in r.stderr,
      "without the web build: " + r.stderr)
check(not os.path.exists(os.path.join(WORK, "other.html")), "and writes nothing")

# A long song makes a large page, and quab-export says so: 31 positions of 64 rows at speed 31
# are 1,190 s, whose sound alone at 128 kbit/s is 19 MB, 25 MB as base64.
run([os.path.join(BUILD, "quab-testmod"), "long.xm", "--positions", "31", "--rows", "64",
     "--speed", "31", "--bpm", "125"])
r = run([EXPORT, "--assets", "test.dat", "--music", "long.xm", "long.html"])
check(r.returncode == 0 and re.search(r"warning: long\.html is \d\d\.\d MB: .*20 MB", r.stderr),
      "a page past 20 MB is written with a warning: " + r.stderr)
check("warning" not in run(SHOW + ["small.html"]).stderr, "a small page is written without")

# Installed, the web build lies in share/quab/web beside bin/.
installed = os.path.join(WORK, "installed")
os.makedirs(os.path.join(installed, "bin"))
shutil.copytree(os.path.join(BUILD, "web"), os.path.join(installed, "share", "quab", "web"))
shutil.copy(EXPORT, os.path.join(installed, "bin"))
r = run([os.path.join(installed, "bin", "quab-export")] + SHOW[1:] + ["installed.html"])
check(r.returncode == 0 and os.path.exists(os.path.join(WORK, "installed.html")),
      "an installed quab-export finds the web build in share/quab/web: " + r.stderr)

if failures:
    sys.exit(f"{len(failures)} failures; the work is kept in {WORK}")
shutil.rmtree(WORK)
print("the .html output behaves")

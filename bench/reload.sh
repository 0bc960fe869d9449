#!/bin/bash
# quab-play --watch as the maker's bench, on one private Xvfb and PulseAudio (null sink):
#  1. Save to screen: Scene 7's background saved (by rename) in a --pictures folder, alternately
#     red and green, 20 times; from the rename to the first window dump showing the new colour
#     (dumps taken back to back, so each time includes up to one dump's length). Median and worst.
#     Also quab-play's own part, from its QUAB_PLAY_TRACE lines.
#  2. CPU time of quab-play with --watch and without, idle (nothing saved), over the same seconds
#     of the same show; the share with --watch of that without.
# Usage: bench/reload.sh BUILD DISPLAYNUM [SECONDS]   (Google Benchmark cannot time other processes)
set -u
BUILD=$(cd "$1" && pwd)
NUM=$2
SECONDS_MEASURED=${3:-10}
RUN=$(mktemp -d /tmp/quab-bench-reload-XXXXXX)
ROOT=$(cd "$(dirname "$0")/.." && pwd)
TOOLS=$ROOT/tests/e2e/play_tools.py
trap '"$ROOT/scripts/services.sh" stop "$RUN/services" "$NUM"; rm -rf "$RUN"' EXIT
"$ROOT/scripts/services.sh" start "$RUN/services" "$NUM" || exit 1
export DISPLAY=":$NUM" XDG_RUNTIME_DIR="$RUN/services"
unset PULSE_SERVER
cd "$RUN" || exit 1
"$BUILD/quab-testassets" quab.dat >/dev/null || exit 1
"$BUILD/quab-testmod" still.xm --positions 32 --rows 1 --speed 31 --bpm 32 || exit 1
"$BUILD/quab-assets" unpack quab.dat pics >/dev/null || exit 1
python3 "$TOOLS" solid-png 320 240 ff0000 ff0000.png
python3 "$TOOLS" solid-png 320 240 00ff00 00ff00.png

QUAB_PLAY_TRACE=1 "$BUILD/quab-play" --pictures pics --music still.xm --loop 21-21 --scale 1 \
    --watch >/dev/null 2>"$RUN/trace" &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^QUAB' | head -n 1)
# The first check of the files runs in the background for some seconds; let it end.
sleep 8
python3 - "$window" "$TOOLS" <<'PY'
import importlib.util, os, shutil, subprocess, sys, time
spec = importlib.util.spec_from_file_location("tools", sys.argv[2])
tools = importlib.util.module_from_spec(spec)
spec.loader.exec_module(tools)
window = sys.argv[1]
times = []
for i in range(20):
    colour = ["ff0000", "00ff00"][i % 2]
    shutil.copy(colour + ".png", "pics/.part.png")
    start = time.monotonic()
    os.rename("pics/.part.png", "pics/17-scene7-background.png")
    while time.monotonic() - start < 5:
        subprocess.run(["xwd", "-silent", "-id", window, "-out", "shot.xwd"], check=True)
        _, _, pixel = tools.read_xwd("shot.xwd")
        if f"{pixel(5, 5):06x}" == colour:
            break
    times.append((time.monotonic() - start) * 1000)
    time.sleep(0.5)
times.sort()
print(f"save to screen, 20 saves: median {(times[9] + times[10]) / 2:.0f} ms, "
      f"worst {times[-1]:.0f} ms (target under 500 ms)")
PY
kill "$pid"
wait "$pid"
# quab-play's own part: from the first event of a save to the present of its first frame.
grep -o 'save to screen [0-9.]*' "$RUN/trace" | awk '{print $4}' | sort -n | awk '
    {t[NR] = $1} END {
    if (NR) printf "within quab-play, %d saves: median %.1f ms, worst %.1f ms\n", NR,
                   (t[int((NR + 1) / 2)] + t[int(NR / 2) + 1]) / 2, t[NR] }'

HZ=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
measure() {
    "$BUILD/quab-play" --music still.xm --loop 21-21 --scale 1 "$@" >/dev/null 2>&1 &
    p=$!
    sleep 10
    a=$(cpu_ticks "$p")
    sleep "$SECONDS_MEASURED"
    b=$(cpu_ticks "$p")
    kill "$p"
    wait "$p"
    echo $((b - a))
}
plain=$(measure)
watched=$(measure --watch)
awk -v p="$plain" -v w="$watched" -v hz="$HZ" -v s="$SECONDS_MEASURED" 'BEGIN {
    printf "CPU over %d s idle: without --watch %.2f s, with %.2f s (%.0f%%)\n",
           s, p / hz, w / hz, p ? 100 * w / p : 0 }'

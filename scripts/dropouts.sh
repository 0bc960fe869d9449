#!/usr/bin/env bash
# Dropouts under load: records a whole xdemo show from the null sink's monitor of a private
# PulseAudio while another process keeps one core busy, and lists the runs of digital silence
# of 10 ms or more in the recording that the module rendered offline (openmpt123) does not have
# at the same song time. Target: none.
#
# usage: scripts/dropouts.sh BUILD_DIR SHOW_DIR [DISPLAYNUM]
#   BUILD_DIR  holds xdemo; SHOW_DIR holds quab.dat and music.xm (e.g. the content folder).
#   DISPLAYNUM the private Xvfb's display number (default 87).
# Exit status 0 when no dropout was found, 1 when some were, 2 on a usage error.
# QUAB_DEMO overrides the program measured (another build of xdemo); QUAB_BUSY=0 measures
# without the busy process; QUAB_KEEP=1 keeps the recordings.
set -uo pipefail

if [ $# -lt 2 ] || [ ! -f "$2/quab.dat" ] || [ ! -f "$2/music.xm" ]; then
    echo "usage: scripts/dropouts.sh BUILD_DIR SHOW_DIR [DISPLAYNUM]" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
show=$(cd "$2" && pwd)
num=${3:-87}
demo=${QUAB_DEMO:-$build/xdemo}

work=$(mktemp -d /tmp/quab-dropouts-XXXXXX)
busy=""
recorder=""
finish() {
    [ -n "$busy" ] && kill "$busy" 2>/dev/null
    [ -n "$recorder" ] && kill "$recorder" 2>/dev/null
    "$repo/scripts/services.sh" stop "$work/run" "$num" >/dev/null 2>&1
    if [ "${QUAB_KEEP:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap finish EXIT

"$repo/scripts/services.sh" start "$work/run" "$num" || exit 1
export DISPLAY=":$num" XDG_RUNTIME_DIR="$work/run"
unset PULSE_SERVER

# The reference: the module as its own render has it, from its first note.
cp "$show/music.xm" "$work/music.xm"
openmpt123 --quiet --batch --render --no-float --samplerate 44100 --channels 2 --dither 0 \
    "$work/music.xm" >/dev/null 2>&1 </dev/null
if [ ! -f "$work/music.xm.wav" ]; then
    echo "dropouts: openmpt123 could not render the module" >&2
    exit 1
fi

parec --device=quab_sink.monitor --format=s16le --rate=44100 --channels=2 --raw \
    >"$work/show.raw" &
recorder=$!
sleep 0.5
if [ "${QUAB_BUSY:-1}" != 0 ]; then
    # One core kept busy for the whole show.
    sh -c 'while :; do :; done' &
    busy=$!
fi
(cd "$show" && "$demo" >"$work/demo.out" 2>"$work/demo.err")
status=$?
sleep 0.5
kill "$recorder" 2>/dev/null
wait "$recorder" 2>/dev/null
recorder=""
if [ -n "$busy" ]; then
    kill "$busy" 2>/dev/null
    wait "$busy" 2>/dev/null
    busy=""
fi
if [ $status -ne 0 ]; then
    echo "dropouts: the show ended with status $status: $(cat "$work/demo.out" "$work/demo.err")" >&2
    exit 1
fi

python3 - "$work/show.raw" "$work/music.xm.wav" <<'PY'
import array, re, sys, wave

RATE = 44100
MIN_FRAMES = RATE // 100        # 10 ms
QUIET = 64                      # the reference counts as silent below this level
TOLERANCE = RATE // 10          # 100 ms of song time either way

def silent_runs(data):
    """Runs of all-zero stereo frames of 10 ms or more, as (start, length) in frames."""
    runs = []
    for m in re.finditer(rb"(?:\x00\x00\x00\x00){%d,}" % MIN_FRAMES, data):
        if m.start() % 4 == 0:
            runs.append((m.start() // 4, (m.end() - m.start()) // 4))
    return runs

def first_sound(data):
    i = 0
    while i + 4 <= len(data) and data[i:i + 4] == b"\x00\x00\x00\x00":
        i += 4
    return i // 4

def last_sound(data):
    i = len(data) - 4
    while i >= 0 and data[i:i + 4] == b"\x00\x00\x00\x00":
        i -= 4
    return i // 4

def quiet_frames(samples):
    """Per frame: both channels below QUIET."""
    return bytes(1 if abs(samples[2 * f]) < QUIET and abs(samples[2 * f + 1]) < QUIET else 0
                 for f in range(len(samples) // 2))

show = open(sys.argv[1], "rb").read()
show = show[: len(show) - len(show) % 4]
with wave.open(sys.argv[2]) as w:
    ref_bytes = w.readframes(w.getnframes())
ref = array.array("h", ref_bytes)
if sys.byteorder != "little":
    ref.byteswap()
quiet = quiet_frames(ref)

start = first_sound(show)
end = last_sound(show)
ref_start = quiet.find(0)
dropouts = []
# A dropout delays the rest of the music by its length (the sound server plays silence while it
# waits for data): song time is recording time less the dropouts before it.
delay = 0
for run_start, length in silent_runs(show):
    if run_start + length <= start or run_start > end:
        continue  # before the music began or after the show ended
    song = run_start - start - delay + ref_start
    # The render is quiet somewhere in that stretch for as long: the music's own rest.
    lo = max(0, song - TOLERANCE)
    hi = min(len(quiet), song + length + TOLERANCE)
    if b"\x01" * length in quiet[lo:hi]:
        continue
    dropouts.append((song, length))
    delay += length

played = (end - start) / RATE
total = sum(length for _, length in dropouts) / RATE * 1000
print(f"show recorded: {played:.1f} s of music")
print(f"dropouts (silent runs of 10 ms or more the render does not have): {len(dropouts)}, "
      f"{total:.0f} ms in all")
for song, length in dropouts:
    print(f"  at {song / RATE:7.2f} s of song: {length * 1000 / RATE:5.0f} ms")
sys.exit(1 if dropouts else 0)
PY

#!/bin/bash
# The web page's figures in one run, on the show's own content:
#  1. One pass of each scene as WebAssembly in node against the same code built natively
#     (quab-web-bench), alternating, best of five rounds each: wasm / native per scene.
#  2. The size of the default show's page, and the exact seek over its tick table: building the
#     whole seek index and seeks to every 7th tick (slowest and mean per scene), WebAssembly in
#     node against native (bench/web/seek.mjs, quab-web-bench with the table).
#  3. Headless chromium: load to ready, and the click to the first frame.
#  4. CPU seconds of chromium playing the page (full screen, all its processes) and of quab-play
#     (at full screen), each with the X server's, over the same seconds on one private Xvfb and
#     PulseAudio (null sink).
# Usage: bench/web/web.sh BUILD DISPLAYNUM [SECONDS]
set -u
BUILD=$(cd "$1" && pwd)
NUM=$2
SECONDS_MEASURED=${3:-10}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
RUN=$(mktemp -d /tmp/quab-bench-web-XXXXXX)
trap '"$ROOT/scripts/services.sh" stop "$RUN/services" "$NUM"; rm -rf "$RUN"' EXIT
"$BUILD/quab-assets" build "$RUN/quab.dat" >/dev/null || exit 1
"$BUILD/quab-music" "$RUN/music.xm" >/dev/null || exit 1
cd "$RUN" || exit 1

. "$BUILD/timeline.sh"
LAST=$(IFS=,; echo "${SCENE_LAST_POSITION[*]}")
echo "One pass, microseconds (best of 5 rounds of 200 passes); wasm in node / native:"
for round in 1 2 3 4 5; do
    "$BUILD/quab-web-bench" quab.dat 200 >>native
    node "$ROOT/bench/web/pass.mjs" "$BUILD/web/quab.wasm" quab.dat 200 "$LAST" >>wasm
done
for k in 1 2 3 4 5 6 7 8; do
    n=$(awk -v k=$k '$2 == k {print $3}' native | sort -g | head -1)
    w=$(awk -v k=$k '$2 == k {print $3}' wasm | sort -g | head -1)
    printf '  scene %d  native %7.1f  wasm %7.1f  %.2fx\n' $k "$n" "$w" \
        "$(awk -v a="$w" -v b="$n" 'BEGIN {print a / b}')"
done

"$BUILD/quab-export" show.html >/dev/null 2>&1 || exit 1
printf 'Page of the default show: %.2f MB\n' "$(stat -c %s show.html | awk '{print $1 / 1e6}')"
# The page's tick table, as the page unpacks it: base64, then gzip.
/usr/bin/python3 -c 'import base64, gzip, re, sys
page = open(sys.argv[1]).read()
table = re.search(r"id=\"ticks\">([^<]*)<", page).group(1)
open(sys.argv[2], "wb").write(gzip.decompress(base64.b64decode(table)))' show.html ticks.raw || exit 1
"$BUILD/quab-web-bench" quab.dat 1 ticks.raw | grep -v '^scene' >seek_native || exit 1
node "$ROOT/bench/web/seek.mjs" "$BUILD/web/quab.wasm" quab.dat ticks.raw >seek_wasm || exit 1
echo "Exact seek over the page's $(($(stat -c %s ticks.raw) / 4)) ticks, wasm in node / native:"
printf '  build the whole index: native %.0f ms, wasm %.0f ms (memory grown %s MB)\n' \
    "$(awk '$1 == "build_ms" {print $2}' seek_native)" \
    "$(awk '$1 == "build_ms" {print $2}' seek_wasm)" "$(awk '$1 == "memory_MB" {print $2}' seek_wasm)"
for k in 1 2 3 4 5 6 7 8; do
    awk -v k=$k '$1 == "seek" && $2 == k {n = $3; nm = $4}
        END {if (n != "") printf "  seek in scene %d: slowest native %.2f ms", k, n}' seek_native
    awk -v k=$k '$1 == "seek" && $2 == k {printf ", wasm %.2f ms; mean %.2f ms\n", $3, $4}' seek_wasm
done
printf 'Headless chromium: %s\n' "$(/usr/bin/python3 "$ROOT/bench/web/browser.py" first-frame \
    "$RUN/show.html")"

"$ROOT/scripts/services.sh" start "$RUN/services" "$NUM" || exit 1
export DISPLAY=":$NUM" XDG_RUNTIME_DIR="$RUN/services"
unset PULSE_SERVER
XPID=$(cat "$RUN/services/xvfb.pid")
kill -0 "$XPID" || { echo "Xvfb :$NUM is not running" >&2; cat "$RUN/services/xvfb.log" >&2; exit 1; }
HZ=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
x0=$(cpu_ticks "$XPID")
read -r chromium_s passes < <(/usr/bin/python3 "$ROOT/bench/web/browser.py" cpu \
    "$RUN/show.html" "$SECONDS_MEASURED")
x1=$(cpu_ticks "$XPID")
# The X server's share over the whole run of the page (start-up included): an upper bound.
chromium_x=$(awk -v t=$((x1 - x0)) -v hz="$HZ" 'BEGIN {print t / hz}')
"$BUILD/quab-play" --fullscreen >/dev/null 2>&1 &
pid=$!
sleep 2
p0=$(cpu_ticks $pid)
x0=$(cpu_ticks "$XPID")
sleep "$SECONDS_MEASURED"
p1=$(cpu_ticks $pid)
x1=$(cpu_ticks "$XPID")
kill -TERM $pid
wait $pid 2>/dev/null
play_s=$(awk -v t=$((p1 - p0)) -v hz="$HZ" 'BEGIN {print t / hz}')
play_x=$(awk -v t=$((x1 - x0)) -v hz="$HZ" 'BEGIN {print t / hz}')
echo "CPU seconds over $SECONDS_MEASURED s of the show (from second 2), program + X server:"
printf '  chromium (%d passes)  %6.2f + %6.2f (X over the whole run)\n' "$passes" "$chromium_s" \
    "$chromium_x"
printf '  quab-play             %6.2f + %6.2f\n' "$play_s" "$play_x"
printf '  chromium / quab-play (programs): %.2f\n' \
    "$(awk -v a="$chromium_s" -v b="$play_s" 'BEGIN {print a / b}')"

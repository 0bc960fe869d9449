#!/bin/bash
# The WebAssembly pass (run by node) against the native pass (quab-render) on one timeline that
# visits every song position of the show, over the show's own asset file: equal frames, byte for
# byte. usage: wasm_pass.sh BUILD_DIR NODE
set -eu
BUILD=$1
NODE=$2
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$BUILD/quab-assets" build "$WORK/quab.dat" >/dev/null
# Three passes a position, each some ticks on from the last, rows across a pattern, through the
# end of the show and one position past it.
awk 'BEGIN { tick = 0; for (p = 0; p <= 30; p++) for (j = 0; j < 3; j++) {
         tick += 37 + 11 * j; print tick, p, j * 21 } }' >"$WORK/timeline"
mkdir "$WORK/native" "$WORK/wasm"
"$BUILD/quab-render" "$WORK/quab.dat" "$WORK/timeline" "$WORK/native" >/dev/null
"$NODE" --no-experimental-fetch "$(dirname "$0")/wasm_pass.mjs" "$BUILD/web/quab.wasm" \
    "$WORK/quab.dat" "$WORK/timeline" "$WORK/wasm" >/dev/null

# Position 30 ends the show at its first pass, whose frame is the last written.
for side in native wasm; do
    n=$(ls "$WORK/$side" | grep -c '\.raw$')
    [ "$n" -eq 91 ] || fail "$side: $n frames, not 91"
done
for f in "$WORK"/native/*.raw; do
    cmp -s "$f" "$WORK/wasm/$(basename "$f")" || fail "$(basename "$f") differs"
done
# The scenes draw: a frame of Scene 1 and one of Scene 5 are not the same picture.
cmp -s "$WORK/wasm/frame_00010.raw" "$WORK/wasm/frame_00050.raw" && fail "the frames do not change"
echo "91 frames equal"

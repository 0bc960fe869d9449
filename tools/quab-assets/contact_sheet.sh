#!/bin/bash
# Renders one frame of each of the eight scenes with quab-render from a freshly built asset file
# and puts them side by side in one PNG. The clock is a model song of 64 rows per position at
# 6 ticks a row (384 ticks a position), one pass every 16 ticks, so every scene reaches its
# chosen moment the way the show does (fades, flashes and word steps included). The captions are
# the scenes' names from the build's timeline.sh (core/timeline.h).
# usage: contact_sheet.sh BUILD_DIR OUT.png
set -eu
build=${1:?usage: contact_sheet.sh BUILD_DIR OUT.png}
out=${2:?usage: contact_sheet.sh BUILD_DIR OUT.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$build/timeline.sh"

"$build/quab-assets" build "$work/quab.dat" >/dev/null
awk 'BEGIN { for (t = 0; t <= 9952; t += 16) print t, int(t / 384), int((t % 384) / 6) }' \
    >"$work/timeline.txt"
"$build/quab-render" "$work/quab.dat" "$work/timeline.txt" "$work/frames" --png >/dev/null

# Tick of each chosen moment, by scene (a multiple of 16, so pass = tick / 16).
moments=(1392 2848 4240 4768 5712 7024 8224 9952)
tiles=""
for k in "${!moments[@]}"; do
    tick=${moments[$k]}
    frame=$(printf '%s/frames/frame_%05d.png' "$work" $((tick / 16)))
    tile="$work/tile_$((tick / 16)).png"
    montage -label "$((k + 1)) ${SCENE_NAMES[$k]}" "$frame" -font DejaVu-Sans -pointsize 14 \
        -fill '#e0e0e0' -background '#181818' -geometry +0+0 "$tile"
    tiles="$tiles $tile"
done
# shellcheck disable=SC2086
montage $tiles -tile 4x2 -geometry +6+6 -background '#181818' "$out"

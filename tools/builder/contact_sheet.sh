#!/bin/sh
# Renders one frame of each of the eight scenes with quab-render from a freshly built asset file
# and puts them side by side in one PNG. The clock is a model song of 64 rows per position at
# 6 ticks a row (384 ticks a position), one pass every 16 ticks, so every scene reaches its
# chosen moment the way the show does (fades, flashes and word steps included).
# usage: contact_sheet.sh BUILD_DIR OUT.png
set -eu
build=${1:?usage: contact_sheet.sh BUILD_DIR OUT.png}
out=${2:?usage: contact_sheet.sh BUILD_DIR OUT.png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$build/quab-assets" build "$work/quab.dat" >/dev/null
awk 'BEGIN { for (t = 0; t <= 9952; t += 16) print t, int(t / 384), int((t % 384) / 6) }' \
    >"$work/timeline.txt"
"$build/quab-render" "$work/quab.dat" "$work/timeline.txt" "$work/frames" --png >/dev/null

# Tick of each chosen moment (a multiple of 16, so pass = tick / 16) and its caption.
set -- \
    1392 "1 masked twin scroll" \
    2848 "2 polar flash" \
    4240 "3 twin-light bump map" \
    4768 "4 cycling-overlay scroll" \
    5712 "5 wobble tunnel" \
    7024 "6 orbiting panels" \
    8224 "7 picture sequence" \
    9952 "8 closing scroller"
tiles=""
while [ $# -gt 0 ]; do
    frame=$(printf '%s/frames/frame_%05d.png' "$work" $(($1 / 16)))
    tile="$work/tile_$(($1 / 16)).png"
    montage -label "$2" "$frame" -font DejaVu-Sans -pointsize 14 -fill '#e0e0e0' \
        -background '#181818' -geometry +0+0 "$tile"
    tiles="$tiles $tile"
    shift 2
done
# shellcheck disable=SC2086
montage $tiles -tile 4x2 -geometry +6+6 -background '#181818' "$out"

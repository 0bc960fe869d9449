#!/bin/bash
# Programs started with a standard descriptor closed: the number is held by /dev/null, so the X
# connection, a file or a pipe opened later never takes it. xdemo with each of 0, 1, 2 closed
# (its descriptor seen in /proc while the window is up), and quab-export with standard input
# closed, whose frame pipe must still reach ffmpeg.
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
make_module "$WORK/music.xm" --positions 32 --rows 64 --speed 6 --bpm 125
for closed in 0 1 2; do
    (
        cd "$WORK" || exit 1
        case $closed in
        0) exec "$BUILD/xdemo" <&- ;;
        1) exec "$BUILD/xdemo" >&- ;;
        2) exec "$BUILD/xdemo" 2>&- ;;
        esac
    ) >/dev/null 2>&1 &
    demo=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^pim\.pasu -test$' | head -n 1)
    if [ -z "$window" ]; then
        fail "xdemo with descriptor $closed closed: no window"
        kill $demo 2>/dev/null
        continue
    fi
    target=$(readlink "/proc/$demo/fd/$closed")
    [ "$target" = /dev/null ] || fail "xdemo's descriptor $closed closed at start is now '$target'"
    xdotool key --window "$window" Return
    wait $demo || fail "xdemo with descriptor $closed closed: status $?"
done

make_module "$WORK/short.xm" --positions 2 --rows 8 --speed 6 --bpm 125
(cd "$WORK" && "$BUILD/quab-export" --assets quab.dat --music short.xm --scale 1 --fps 10 \
    short.mp4 <&- >"$WORK/export.out" 2>&1) || fail "quab-export with stdin closed: $(tail -3 "$WORK/export.out")"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of csv=p=0 "$WORK/short.mp4" 2>/dev/null)
[ "${frames:-0}" -gt 5 ] || fail "quab-export with stdin closed: the video holds ${frames:-no} frames"
finish

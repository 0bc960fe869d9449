#!/bin/bash
# quab-play and its display, on an X server of the test's own with a 640x480 screen:
#   scale      --scale 3 does not fit: one line, and the window at the largest that does (2);
#              muted, nothing else is said.
#   x_killed   the server killed mid-show: one line and status 1, at once (it aborted with status
#              134), the playback stream gone with it.
#   no_answer  DISPLAY names a display nobody answers: the line says which.
#   start      --start past the end of an 8-position song: one line and the usage status (it
#              played 1.8 s of nothing).
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
# 7.68 s a position: the show cannot end by itself during the test.
make_module "$WORK/music.xm" --positions 32 --rows 64 --speed 6 --bpm 125
make_module "$WORK/short.xm" --positions 8 --rows 8 --speed 3 --bpm 125
start_own_xvfb -screen 0 640x480x24 || finish
play_display=$xvfb_display

start_play "$WORK" scale DISPLAY="$play_display" "$BUILD/quab-play" --scale 3 --mute
if [ -n "$window" ]; then
    size=$(DISPLAY=$play_display xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
    [ "$size" = 640x480 ] || fail "scale: window $size, expected 640x480"
    play_key Escape
    expect_play_end scale 0 1.5 "$(now)" \
        "quab-play: --scale 3 (960x720) does not fit on the screen (640x480 usable): using --scale 2"
else
    fail "scale: no window: $(cat "$WORK/scale.err")"
fi

before=$(sound_streams)
start_play "$WORK" x_killed DISPLAY="$play_display" "$BUILD/quab-play" --scale 1
if [ -n "$window" ] && wait_for_sound $play 20 "$before"; then
    sleep 1
    kill -9 $xvfb_pid
    expect_play_end x_killed 1 1.5 "$(now)" "quab-play: lost the connection to the display $play_display"
    i=0
    while [ "$(sound_streams)" -gt "$before" ] && [ $i -lt 20 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    [ "$(sound_streams)" -eq "$before" ] || fail "x_killed: the playback stream is still there"
else
    fail "x_killed: the show did not start: $(cat "$WORK/x_killed.err")"
fi
wait $xvfb_pid 2>/dev/null

# The killed server's number now names nothing.
(cd "$WORK" && env -u WAYLAND_DISPLAY DISPLAY="$play_display" "$BUILD/quab-play" >"$WORK/no_answer.out" 2>"$WORK/no_answer.err")
rc=$?
[ $rc -eq 1 ] || fail "no_answer: exit status $rc, expected 1"
expect_file "no_answer: standard error" "$WORK/no_answer.err" \
    "quab-play: cannot open a window: the display $play_display does not answer"

(cd "$WORK" && "$BUILD/quab-play" --music short.xm --start 20 >"$WORK/start.out" 2>"$WORK/start.err")
rc=$?
[ $rc -eq 2 ] || fail "start: exit status $rc, expected 2"
[ "$(head -n 1 "$WORK/start.err")" = "quab-play: --start 20: the song has only 8 positions" ] ||
    fail "start: standard error: $(cat "$WORK/start.err")"

left=$(processes_in "$WORK")
[ -z "$left" ] || fail "processes left in the working folder: $left"
finish

#!/bin/bash
# xdemo against an X server of the test's own, which the test ends mid-show: xdemo ends at once
# with Xlib's message and the sound stops with it. Before that, on the same server, the two
# screens xdemo cannot draw on, under memcheck: no visual of depth 32, 24 or 16 (depth 8), and a
# 16-bit visual; each refused with exit status 1 and the display closed.
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
make_long_module "$WORK/music.xm"

start_own_xvfb -screen 0 1024x768x24 -screen 1 320x240x8 -screen 2 320x240x16 || finish
xvfb=$xvfb_pid
num=${xvfb_display#:}

vg_xdemo depth8 "$WORK" DISPLAY=":$num.1"
[ $rc -eq 1 ] || fail "depth 8: exit status $rc, expected 1"
expect_file "depth 8: standard output" "$WORK/depth8.out" \
    "$(startup_lines 5; echo "Unable to allocate visual. try: startx -- -bpp 32 or something simular")"
check_released depth8 load_asset_file XOpenDisplay

vg_xdemo depth16 "$WORK" DISPLAY=":$num.2"
[ $rc -eq 1 ] || fail "depth 16: exit status $rc, expected 1"
[ "$(head -n 5 "$WORK/depth16.out")" = "$(startup_lines 5)" ] &&
    [ "$(wc -l <"$WORK/depth16.out")" -eq 6 ] &&
    grep -q '^Unable to use the 16-bit visual' "$WORK/depth16.out" ||
    fail "depth 16: standard output: $(cat "$WORK/depth16.out")"
check_released depth16 load_asset_file XOpenDisplay =x11_open

# The show on screen 0, then the server killed under it.
before=$(sound_streams)
start_xdemo show "$WORK" DISPLAY=":$num"
if ! wait_for_sound $demo 30 "$before"; then
    fail "the show did not start (stdout: $(tr '\n' '|' <"$WORK/show.out"))"
    finish
fi
sleep 1
kill -9 $xvfb
wait $xvfb 2>/dev/null
await_xdemo 3 "xdemo still running 3 s after its X server went away"
# Xlib's default handler of a lost connection prints its message and exits with status 1.
[ $rc -eq 1 ] || fail "exit status $rc after the X server went away, expected 1"
expect_file "standard output" "$WORK/show.out" "$(startup_lines 7)"
grep -Eq "X connection to :$num(\.0)? broken|XIO: +fatal IO error" "$WORK/show.err" ||
    fail "no Xlib message on standard error: $(head -c 300 "$WORK/show.err")"
streams_back_to "$before" || fail "the playback stream is still on the sound server"
left=$(processes_in "$WORK")
[ -z "$left" ] || fail "processes left in the working folder: $left"
[ "$(ls "$WORK" | grep -v '^depth\|^show\.\|^xvfb-' | tr '\n' ' ')" = "music.xm quab.dat " ] ||
    fail "files left in the working folder: $(ls "$WORK")"

finish

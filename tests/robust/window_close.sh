#!/bin/bash
# The window closed from outside mid-show ends xdemo as a key does: the closing report and
# status 0, nothing on standard error. Two ways: the window manager's close button
# (WM_DELETE_WINDOW, sent by the helper as a window manager sends it) and the window destroyed
# by another client (xdotool windowclose), which ended xdemo with BadDrawable and status 1.
# quab-play the same, and its connection killed by another client (xdotool windowkill): one line
# and status 1, at once (it aborted with status 134 on the three).
# Usage: window_close.sh BUILD WM_CLOSE_HELPER
. "$(dirname "$0")/lib.sh" "$1"
wm_close=$2

make_assets "$WORK/quab.dat"
# 7.68 s a position: the show cannot end by itself during the test.
make_long_module "$WORK/music.xm"

for how in wm_delete windowclose; do
    start_xdemo "$how" "$WORK"
    window=$(xdemo_window)
    if [ -z "$window" ]; then
        fail "$how: the window did not appear"
        continue
    fi
    sleep 1
    if [ $how = wm_delete ]; then
        xprop -id "$window" WM_PROTOCOLS | grep -q 'WM_DELETE_WINDOW' ||
            fail "$how: the window does not ask for WM_DELETE_WINDOW"
        "$wm_close" "$window" || fail "$how: the helper could not send the message"
    else
        xdotool windowclose "$window"
    fi
    await_xdemo 5 "$how: xdemo still running 5 s after its window was closed"
    [ $rc -eq 0 ] || fail "$how: exit status $rc, expected 0"
    expect_file "$how: standard output" "$WORK/$how.out" \
        "$(startup_lines 7; grep '^Total playtime: 0:[0-9]$' "$WORK/$how.out"; echo "*** Shutdown ***")"
    grep -q '^Total playtime: 0:[0-9]$' "$WORK/$how.out" || fail "$how: playtime line missing"
    [ ! -s "$WORK/$how.err" ] || fail "$how: standard error: $(head -c 300 "$WORK/$how.err")"
done

for how in wm_delete windowclose windowkill; do
    start_play "$WORK" play_$how "$BUILD/quab-play" --scale 1
    if [ -z "$window" ]; then
        fail "quab-play $how: the window did not appear: $(cat "$WORK/play_$how.err")"
        continue
    fi
    sleep 1
    case $how in
    wm_delete) "$wm_close" "$window" || fail "$how: the helper could not send the message" ;;
    windowclose) xdotool windowclose "$window" ;;
    windowkill) xdotool windowkill "$window" ;;
    esac
    if [ $how = windowkill ]; then
        expect_play_end play_$how 1 1.5 "$(now)" "quab-play: lost the connection to the display $DISPLAY"
    else
        expect_play_end play_$how 0 1.5 "$(now)" ""
    fi
done

finish

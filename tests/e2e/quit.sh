#!/bin/bash
# A key press and a mouse-button press in the window each end the show early with status 0.
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
# Long enough that the show cannot end by itself during the test: 32 positions of 64 rows at
# speed 6, 125 BPM (7.68 s a position).
make_module "$WORK/music.xm" --positions 32 --rows 64 --speed 6 --bpm 125

for how in key button; do
    (cd "$WORK" && timeout 60 "$BUILD/xdemo" >"$WORK/out.$how" 2>"$WORK/err.$how") &
    demo=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^pim\.pasu -test$' | head -n 1)
    if [ -z "$window" ]; then
        fail "$how: the window did not appear"
        kill $demo
        continue
    fi
    sleep 1
    # Real input through the server: the pointer over the window gives it the keyboard focus.
    xdotool mousemove --window "$window" 100 100
    if [ $how = key ]; then xdotool key space; else xdotool click 1; fi
    wait $demo
    rc=$?
    [ $rc -eq 0 ] || fail "$how: exit status $rc, expected 0"
    # Ended early: within the first position, so the playtime is 0:0 to 0:4.
    expect_file "$how: output" "$WORK/out.$how" \
        "$(startup_lines 7; grep '^Total playtime: 0:[0-4]$' "$WORK/out.$how"; echo "*** Shutdown ***")"
    grep -q '^Total playtime: 0:[0-4]$' "$WORK/out.$how" || fail "$how: playtime line missing"
done

finish

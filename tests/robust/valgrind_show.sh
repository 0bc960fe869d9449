#!/bin/bash
# A whole xdemo show under memcheck, with the private X server and sound server: it ends by
# itself with status 0, memcheck reports no error and no definitely lost block, and nothing the
# show allocated is still in use at exit.
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
# 32 positions of 2 rows at speed 3, 125 BPM: 0.12 s a position, so the song reaches position 30
# after 3.6 s of music, short enough for memcheck's pace, long enough for every scene to run.
make_module "$WORK/music.xm" --positions 32 --rows 2 --speed 3 --bpm 125

vg_xdemo show "$WORK"
[ $rc -eq 0 ] || fail "exit status $rc, expected 0 (stderr: $(head -c 300 "$WORK/show.err"))"
playtime=$(grep '^Total playtime: ' "$WORK/show.out")
expect_file "show output" "$WORK/show.out" "$(startup_lines 7; echo "$playtime"; echo "*** Shutdown ***")"
[[ "$playtime" =~ ^Total\ playtime:\ 0:[0-9]+$ ]] || fail "playtime line: '$playtime'"
# The driver's buffers, the asset table, the display and the module are all released.
check_released show show_alloc load_asset_file XOpenDisplay =x11_open Player_Load
[ "$(ls "$WORK" | grep -v '^show\.' | tr '\n' ' ')" = "music.xm quab.dat " ] ||
    fail "files left in the working folder: $(ls "$WORK")"

finish

#!/bin/bash
# SIGINT or SIGTERM during the show ends xdemo at once by the signal's default action (the
# process dies of the signal), and nothing is left behind: no file in the working folder beside
# the two inputs, no process, no playback stream on the sound server.
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
# 7.68 s a position: the show cannot end by itself during the test.
make_module "$WORK/music.xm" --positions 32 --rows 64 --speed 6 --bpm 125

for sig in INT TERM; do
    dir="$WORK/$sig"
    mkdir "$dir"
    cp "$WORK/quab.dat" "$WORK/music.xm" "$dir"
    before=$(sound_streams)
    # A shell's background jobs start with SIGINT ignored; a show started from a terminal has
    # the default action, which env restores here.
    (cd "$dir" && exec env --default-signal=INT,TERM "$BUILD/xdemo" >"$WORK/$sig.out" 2>"$WORK/$sig.err") &
    demo=$!
    cleanup_pids="$cleanup_pids $demo"
    if ! wait_for_sound $demo 30 "$before"; then
        fail "$sig: the show did not start (stdout: $(tr '\n' '|' <"$WORK/$sig.out"))"
        continue
    fi
    sleep 0.5
    kill -s "$sig" $demo
    if ! wait_gone $demo 3; then
        fail "$sig: xdemo still running 3 s after SIG$sig"
        kill -9 $demo
    fi
    wait $demo
    rc=$?
    expected=$((128 + $(kill -l "$sig")))
    [ $rc -eq $expected ] || fail "$sig: exit status $rc, expected $expected (killed by SIG$sig)"
    # Killed in the frame loop: no report, no shutdown line.
    expect_file "$sig: standard output" "$WORK/$sig.out" "$(startup_lines 7)"
    [ "$(ls "$dir" | tr '\n' ' ')" = "music.xm quab.dat " ] ||
        fail "$sig: files left in the working folder: $(ls "$dir")"
    left=$(processes_in "$dir")
    [ -z "$left" ] || fail "$sig: processes left in the working folder: $left"
    i=0
    while [ "$(sound_streams)" -gt "$before" ] && [ $i -lt 20 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    [ "$(sound_streams)" -eq "$before" ] || fail "$sig: the playback stream is still on the sound server"
done

finish

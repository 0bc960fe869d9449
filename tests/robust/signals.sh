#!/bin/bash
# SIGINT or SIGTERM during the show ends xdemo at once by the signal's default action (the
# process dies of the signal), and nothing is left behind: no file in the working folder beside
# the two inputs, no process, no playback stream on the sound server.
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
# 7.68 s a position: the show cannot end by itself during the test.
make_long_module "$WORK/music.xm"

for sig in INT TERM; do
    dir="$WORK/$sig"
    mkdir "$dir"
    cp "$WORK/quab.dat" "$WORK/music.xm" "$dir"
    before=$(sound_streams)
    # A shell's background jobs start with SIGINT ignored; a show started from a terminal has
    # the default action, which env restores here.
    start_xdemo "$sig" "$dir" --default-signal=INT,TERM
    if ! wait_for_sound $demo 30 "$before"; then
        fail "$sig: the show did not start (stdout: $(tr '\n' '|' <"$WORK/$sig.out"))"
        continue
    fi
    sleep 0.5
    kill -s "$sig" $demo
    await_xdemo 3 "$sig: xdemo still running 3 s after SIG$sig"
    expected=$((128 + $(kill -l "$sig")))
    [ $rc -eq $expected ] || fail "$sig: exit status $rc, expected $expected (killed by SIG$sig)"
    # Killed in the frame loop: no report, no shutdown line.
    expect_file "$sig: standard output" "$WORK/$sig.out" "$(startup_lines 7)"
    [ "$(ls "$dir" | tr '\n' ' ')" = "music.xm quab.dat " ] ||
        fail "$sig: files left in the working folder: $(ls "$dir")"
    left=$(processes_in "$dir")
    [ -z "$left" ] || fail "$sig: processes left in the working folder: $left"
    streams_back_to "$before" || fail "$sig: the playback stream is still on the sound server"
done

finish

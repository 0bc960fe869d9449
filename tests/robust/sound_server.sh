#!/bin/bash
# xdemo against a PulseAudio of the test's own that the test stops (SIGSTOP) or kills under it.
#   stalled_quit     stopped mid-show, then a key: the show ends within a second or so, with the
#                    closing report and status 0, though the server never answers again.
#   stalled_startup  stopped before start-up: one clear line after the wait, status 1.
#   died             killed mid-show: one line on standard error, and the silent show keeps the
#                    song at the speed of the clock to its end (it raced 2.4 times too fast).
# quab-play against the same faults:
#   play_stalled_quit     stopped mid-show, then Escape: ended within a second, playtime line,
#                         status 0 (it waited for the server to resume).
#   play_stalled_startup  stopped before start-up: Escape at once ends it (the window ignored
#                         every request); left alone, one line after 5 s, then the show plays
#                         silent, in time, and SIGINT ends it with its playtime line.
#   play_died             killed mid-show: the same line as xdemo's, and the song to its end at
#                         the speed of the clock.
#   play_killed_startup   killed before start-up (its socket left behind): one line, the show
#                         silent, Escape ends it (alsa-lib's own lines, as SDL tries ALSA next, are
#                         not let through).
# Usage: sound_server.sh BUILD [CASE...] (default all).
. "$(dirname "$0")/lib.sh" "$1"
shift
cases=("$@")
[ ${#cases[@]} -eq 0 ] && cases=(stalled_quit stalled_startup died play_stalled_quit play_stalled_startup play_died
    play_killed_startup)

make_assets "$WORK/quab.dat"

# Starts xdemo in folder $1 on the test's own server (run folder $2), outputs to $WORK/$3.*.
start_demo() { start_xdemo "$3" "$1" XDG_RUNTIME_DIR="$2"; }

# Number of playback streams on the test's own server (run folder $1).
own_streams() { XDG_RUNTIME_DIR="$1" pactl list short sink-inputs 2>/dev/null | wc -l; }

# Waits up to $2 seconds for the show (pid $1) to open its stream on the server of folder $3.
wait_for_own_sound() {
    local i=0
    while [ $i -lt $(($2 * 10)) ]; do
        kill -0 "$1" 2>/dev/null || return 1
        [ "$(own_streams "$3")" -gt 0 ] && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

for case in "${cases[@]}"; do
    dir="$WORK/$case"
    run="$WORK/$case-pulse"
    mkdir "$dir"
    cp "$WORK/quab.dat" "$dir"
    start_own_pulse "$run" || continue
    case $case in
    stalled_quit)
        make_long_module "$dir/music.xm"
        start_demo "$dir" "$run" $case
        window=$(xdemo_window)
        if [ -z "$window" ] || ! wait_for_own_sound $demo 20 "$run"; then
            fail "$case: the show did not start (stdout: $(tr '\n' '|' <"$WORK/$case.out"))"
            continue
        fi
        sleep 1
        kill -STOP "$pulse_pid"
        # Long enough for the mixer to be held in its write to the stopped server.
        sleep 1
        xdotool mousemove --window "$window" 100 100
        asked=$(now)
        xdotool key space
        # Within a second of the request, with a margin for a busy machine.
        wait_gone $demo 5
        took=$(awk -v a="$asked" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
        if kill -0 $demo 2>/dev/null; then
            fail "$case: xdemo still running 5 s after the key with the sound server stopped"
            kill -9 $demo
        else
            echo "$case: ended $took s after the key"
            at_most "$took" 1.5 || fail "$case: ended $took s after the key, expected within a second"
        fi
        wait $demo
        rc=$?
        [ $rc -eq 0 ] || fail "$case: exit status $rc, expected 0"
        expect_file "$case: standard output" "$WORK/$case.out" \
            "$(startup_lines 7; grep '^Total playtime: 0:[0-9]$' "$WORK/$case.out"; echo "*** Shutdown ***")"
        grep -q '^Total playtime: 0:[0-9]$' "$WORK/$case.out" || fail "$case: playtime line missing"
        ;;
    stalled_startup)
        make_long_module "$dir/music.xm"
        kill -STOP "$pulse_pid"
        start_demo "$dir" "$run" $case
        # Five seconds of waiting for the server, then the failure.
        await_xdemo 15 "$case: xdemo still running 15 s after start-up with the sound server stopped"
        [ $rc -eq 1 ] || fail "$case: exit status $rc, expected 1"
        expect_file "$case: standard output" "$WORK/$case.out" "$(startup_lines 6)"
        expect_file "$case: standard error" "$WORK/$case.err" \
            "Mikmod: Unable to initialize mikmod: the sound output did not answer in 5 seconds"
        ;;
    died)
        # 32 positions of 8 rows at speed 3, 125 BPM: 0.48 s a position, so the song reaches
        # position 30 after 14.4 s. Racing 2.4 times too fast after a kill at about 2 s, it
        # got there some 7 s early.
        make_module "$dir/music.xm" --positions 32 --rows 8 --speed 3 --bpm 125
        started=$(now)
        start_demo "$dir" "$run" $case
        if ! wait_for_own_sound $demo 20 "$run"; then
            fail "$case: the show did not start (stdout: $(tr '\n' '|' <"$WORK/$case.out"))"
            continue
        fi
        sleep 2
        kill -9 "$pulse_pid"
        await_xdemo 40 "$case: xdemo still running 40 s after its start"
        took=$(awk -v a="$started" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
        echo "$case: the show took $took s for 14.4 s of song"
        [ $rc -eq 0 ] || fail "$case: exit status $rc, expected 0"
        expect_file "$case: standard output" "$WORK/$case.out" \
            "$(startup_lines 7; echo "Total playtime: 0:14"; echo "*** Shutdown ***")"
        expect_file "$case: standard error" "$WORK/$case.err" \
            "Sound output lost: the show goes on without music"
        # What is heard may run up to a quarter of a second ahead of the clock; start-up takes
        # the rest.
        at_most 13.9 "$took" && at_most "$took" 20 ||
            fail "$case: the show took $took s, expected 14.4 s of song at the speed of the clock"
        ;;
    play_stalled_quit)
        make_module "$dir/music.xm" --positions 32 --rows 64 --speed 6 --bpm 125
        start_play "$dir" $case XDG_RUNTIME_DIR="$run" "$BUILD/quab-play" --scale 1
        if [ -z "$window" ] || ! wait_for_own_sound $play 20 "$run"; then
            fail "$case: the show did not start (window \"$window\"): $(cat "$WORK/$case.err")"
            continue
        fi
        sleep 1
        kill -STOP "$pulse_pid"
        # Long enough for SDL's output to be held by the stopped server.
        sleep 1
        play_key Escape
        expect_play_end $case 0 1.5 "$(now)" ""
        ;;
    play_stalled_startup)
        make_module "$dir/music.xm" --positions 32 --rows 8 --speed 3 --bpm 125
        kill -STOP "$pulse_pid"
        start_play "$dir" $case XDG_RUNTIME_DIR="$run" "$BUILD/quab-play" --scale 1
        [ -n "$window" ] || { fail "$case: no window with the server stopped (quab-play $(kill -0 $play 2>/dev/null && echo running || echo ended)): $(cat "$WORK/$case.err")"; continue; }
        sleep 0.5
        play_key Escape
        expect_play_end $case 0 1.5 "$(now)" ""
        grep -qx 'Total playtime: 0:0' "$WORK/$case.out" || fail "$case: $(cat "$WORK/$case.out")"
        # Left alone: 0.48 s a position, silent on the clock once the wait is over.
        start_play "$dir" $case-silent XDG_RUNTIME_DIR="$run" "$BUILD/quab-play" --scale 1
        [ -n "$window" ] || { fail "$case: no window with the server stopped (quab-play $(kill -0 $play 2>/dev/null && echo running || echo ended)): $(cat "$WORK/$case.err")"; continue; }
        sleep 6.5
        title=$(xdotool getwindowname "$window")
        case $title in
        *"(position 2)"* | *"(position 3)"* | *"(position 4)"*) ;;
        *) fail "$case: 1 to 2 s after the wait the show is not at position 2 to 4: $title" ;;
        esac
        kill -INT $play
        expect_play_end $case-silent 0 1.5 "$(now)" \
            "the sound output did not answer in 5 seconds: playing without sound"
        ;;
    play_killed_startup)
        make_module "$dir/music.xm" --positions 32 --rows 8 --speed 3 --bpm 125
        kill -9 "$pulse_pid"
        start_play "$dir" $case XDG_RUNTIME_DIR="$run" "$BUILD/quab-play" --scale 1
        [ -n "$window" ] || { fail "$case: no window: $(cat "$WORK/$case.err")"; continue; }
        sleep 1.5
        case $(xdotool getwindowname "$window") in
        *"(position 2)"* | *"(position 3)"* | *"(position 4)"* | *"(position 5)"*) ;;
        *) fail "$case: the silent show is not at position 2 to 5: $(xdotool getwindowname "$window")" ;;
        esac
        play_key Escape
        expect_play_end $case 0 1.5 "$(now)" "no sound output: playing without sound"
        ;;
    play_died)
        # 12 positions of 0.48 s: 5.76 s of song, cut at about 2 s.
        make_module "$dir/music.xm" --positions 12 --rows 8 --speed 3 --bpm 125
        start_play "$dir" $case XDG_RUNTIME_DIR="$run" "$BUILD/quab-play" --scale 1
        if [ -z "$window" ] || ! wait_for_own_sound $play 20 "$run"; then
            fail "$case: the show did not start (window \"$window\"): $(cat "$WORK/$case.err")"
            continue
        fi
        started=$(now)
        sleep 2
        kill -9 "$pulse_pid"
        wait_gone $play 20 || { fail "$case: still running 20 s after its start"; kill -9 $play; }
        wait $play
        rc=$?
        took=$(awk -v a="$started" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
        echo "$case: the show took $took s from its first sound for 5.76 s of song"
        [ $rc -eq 0 ] || fail "$case: exit status $rc, expected 0"
        grep -qx 'Total playtime: 0:5' "$WORK/$case.out" || fail "$case: $(cat "$WORK/$case.out")"
        expect_file "$case: standard error" "$WORK/$case.err" \
            "Sound output lost: the show goes on without music"
        # The stream is seen a moment after it starts; the output's buffer and the end of the
        # show take a little more (some 0.6 s without a fault, up to 2 s on a busy machine); a
        # song that raced would end early, and a clock that stood still never.
        at_most 5.2 "$took" && at_most "$took" 8.5 ||
            fail "$case: the show took $took s, expected 5.76 s of song at the speed of the clock"
        ;;
    esac
    left=$(processes_in "$dir")
    [ -z "$left" ] || fail "$case: processes left in the working folder: $left"
    kill -CONT "$pulse_pid" 2>/dev/null
    kill -9 "$pulse_pid" 2>/dev/null
done

finish

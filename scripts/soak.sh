#!/usr/bin/env bash
# A soak of shows with faults: xdemo and quab-play back to back, RUNS shows in all, each on an X
# server (Xvfb) and a PulseAudio of its own, cut at a random moment by one random fault: the sound
# server stopped then resumed, stopped for good, killed or restarted (then a key a second later);
# the window closed from outside (the close button's message or another client destroying it);
# the X server killed; SIGINT, SIGTERM or SIGHUP; a key. Each show must end within 2 s of the
# fault or the key (7 s when the fault came before its sound started) with the status and lines
# the README promises, and leave no process, file or shared memory segment behind; the next
# show's servers start clean. One line per show, then "N passed, N failed".
#
# usage: scripts/soak.sh RUNS [BUILD_DIR]   (BUILD_DIR default: build/ of this tree)
# QUAB_SOAK_SEED repeats a soak (the seed is printed first); QUAB_KEEP_WORK=1 keeps the folders.
# Exit status 0 when every show passed, 1 when one failed, 2 on a usage error.
set -u

if [ $# -lt 1 ] || ! [[ $1 =~ ^[1-9][0-9]{0,4}$ ]]; then
    echo "usage: scripts/soak.sh RUNS [BUILD_DIR]" >&2
    exit 2
fi
runs=$1
repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${2:-$repo/build}" && pwd)
if [ ! -x "$build/xdemo" ] || [ ! -x "$build/quab-play" ]; then
    echo "soak.sh: no xdemo and quab-play in $build (build them first)" >&2
    exit 2
fi
. "$repo/tests/robust/lib.sh" "$build"

seed=${QUAB_SOAK_SEED:-$(($(date +%s) % 32768))}
RANDOM=$seed
echo "seed $seed"

FAULTS=(pulse_stop_resume pulse_stop pulse_kill pulse_restart window_close x_kill sigint
    sigterm sighup key)
WM_CLOSE=$build/quab_wm_close

make_assets "$WORK/quab.dat"
# 7.68 s a position: no show ends by itself during the soak.
make_module "$WORK/music.xm" --positions 32 --rows 64 --speed 6 --bpm 125

# The servers of the current show: both gone, and their files, before the next one starts.
stop_servers() {
    kill -CONT "$pulse_pid" 2>/dev/null
    kill -9 "$pulse_pid" "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
    # Killed, a daemon waits as a zombie until the system reaps it: that is ended too.
    local i=0
    while kill -0 "$pulse_pid" 2>/dev/null &&
        [ "$(awk '{ print $3 }' "/proc/$pulse_pid/stat" 2>/dev/null)" != Z ]; do
        [ $i -ge 50 ] && { problems+=("the sound server did not end"); break; }
        sleep 0.1
        i=$((i + 1))
    done
    rm -f "/tmp/.X${xvfb_display#:}-lock" "/tmp/.X11-unix/X${xvfb_display#:}"
}

# Number of playback streams on the show's own sound server.
own_streams() { XDG_RUNTIME_DIR="$run" pactl list short sink-inputs 2>/dev/null | wc -l; }

# The visible window of the show; empty while there is none.
show_window() {
    DISPLAY=$xvfb_display xdotool search --onlyvisible --name '^pim\.pasu -test$|^QUAB' 2>/dev/null |
        head -n 1
}

# The show's window once it shows, waiting up to 5 s while the show ($pid) runs; empty without.
await_window() {
    local w i=0
    while [ -z "${w:=$(show_window)}" ] && [ $i -lt 50 ] && kill -0 "$pid" 2>/dev/null; do
        sleep 0.1
        i=$((i + 1))
        w=$(show_window)
    done
    echo "$w"
}

# A key in the window, as a user presses it: the pointer in the window, then the key.
press_key() {
    local w
    w=$(await_window)
    [ -n "$w" ] || return 1
    DISPLAY=$xvfb_display xdotool mousemove --window "$w" 10 10 key Escape 2>/dev/null
}

# Applies the fault to the show (pid $pid); sets ends_itself (true when the fault alone must
# end the show), fault_note, and fault_at (when it came: a key or a close waits for the window).
apply_fault() {
    ends_itself=true
    fault_note=""
    case $1 in
    pulse_stop_resume)
        kill -STOP "$pulse_pid"
        sleep 1
        kill -CONT "$pulse_pid"
        ends_itself=false
        ;;
    pulse_stop)
        kill -STOP "$pulse_pid"
        ends_itself=false
        ;;
    pulse_kill)
        kill -9 "$pulse_pid"
        ends_itself=false
        ;;
    pulse_restart)
        kill -9 "$pulse_pid"
        # Until the system reaps it, the killed daemon looks alive to the new one's pid check.
        rm -f "$run/pulse/pid"
        start_own_pulse "$run" >/dev/null || fault_note="the new sound server did not start"
        ends_itself=false
        ;;
    window_close)
        local w
        w=$(await_window)
        if [ -z "$w" ]; then
            fault_note="no window"
        elif [ -x "$WM_CLOSE" ] && [ $((RANDOM % 2)) -eq 0 ]; then
            DISPLAY=$xvfb_display "$WM_CLOSE" "$w"
            fault_note="close button"
        else
            DISPLAY=$xvfb_display xdotool windowclose "$w" 2>/dev/null
            fault_note="windowclose"
        fi
        ;;
    x_kill) kill -9 "$xvfb_pid" ;;
    sigint) kill -INT "$pid" ;;
    sigterm) kill -TERM "$pid" ;;
    sighup) kill -HUP "$pid" ;;
    key) press_key || fault_note="no window for the key" ;;
    esac
    fault_at=$(now)
}

# Whether the show's end (status $1, outputs $2.out and $2.err) is one the README promises for
# program $3 under fault $4; sound_started tells whether its stream was playing at the fault.
# Adds to problems what is wrong.
check_end() {
    local rc=$1 out=$2.out err=$2.err program=$3 fault=$4
    local played=false
    if [ "$program" = xdemo ]; then
        tail -n 2 "$out" | head -n 1 | grep -q '^Total playtime: [0-9]\+:[0-9]\+$' &&
            [ "$(tail -n 1 "$out")" = "*** Shutdown ***" ] && played=true
    else
        tail -n 1 "$out" | grep -q '^Total playtime: [0-9]\+:[0-9]\+$' && played=true
    fi
    local show_ended_ok=false
    [ "$rc" -eq 0 ] && $played && show_ended_ok=true
    case $fault in
    key | pulse_stop_resume | window_close)
        $show_ended_ok || problems+=("status $rc, expected 0 with the playtime line")
        ;;
    pulse_stop | pulse_kill | pulse_restart)
        # xdemo cannot start without its sound: one line and status 1, when the fault came first.
        if [ "$program" = xdemo ] && ! $sound_started && [ "$rc" -eq 1 ]; then
            grep -q '^Mikmod: Unable to initialize mikmod: ' "$err" ||
                problems+=("status 1 without libmikmod's line")
        else
            $show_ended_ok || problems+=("status $rc, expected 0 with the playtime line")
        fi
        # A show that was playing says once that its sound is gone, and goes on.
        if [ "$fault" != pulse_stop ] && $sound_started && $show_ended_ok &&
            [ "$(grep -cx 'Sound output lost: the show goes on without music' "$err")" -ne 1 ]; then
            problems+=("not told once that the sound output was lost")
        fi
        ;;
    x_kill)
        [ "$rc" -eq 1 ] || problems+=("status $rc, expected 1")
        $played && problems+=("a playtime line with the X server gone")
        if [ "$program" = quab-play ]; then
            grep -Eqx "quab-play: (lost the connection to the display|cannot open a window: the display) $xvfb_display( does not answer)?" "$err" ||
                problems+=("no line about the display: $(head -c 200 "$err")")
        else
            grep -Eq "X connection to $xvfb_display(\.0)? broken|XIO: +fatal IO error|Unable to open display|unable to open display" "$err" "$out" ||
                problems+=("no line about the display: $(head -c 200 "$err")")
        fi
        ;;
    sigint | sigterm)
        local n=2
        [ $fault = sigterm ] && n=15
        # quab-play answers them as a quit once its window is open; before, and in xdemo, the
        # signal's default action ends the process.
        if [ "$program" = quab-play ] && $show_ended_ok; then
            :
        elif [ "$rc" -ne $((128 + n)) ]; then
            problems+=("status $rc, expected $((128 + n))$([ "$program" = quab-play ] && echo " or 0 with the playtime line")")
        fi
        ;;
    sighup)
        [ "$rc" -eq 129 ] || problems+=("status $rc, expected 129")
        ;;
    esac
    # quab-play says only what it means to say; xdemo's libraries may add their own lines.
    if [ "$program" = quab-play ]; then
        local line
        while IFS= read -r line; do
            case $line in
            "Sound output lost: the show goes on without music" | \
                "no sound output: playing without sound" | \
                "the sound output did not answer in 5 seconds: playing without sound" | \
                "quab-play: lost the connection to the display "* | \
                "quab-play: cannot open a window: "*) ;;
            *) problems+=("unexpected line on standard error: $line") ;;
            esac
        done <"$err"
    fi
    grep -q 'terminate called\|Aborted\|core dumped' "$err" && problems+=("an abort")
    return 0
}

passed=0
failed=0
for i in $(seq 1 "$runs"); do
    problems=()
    if [ $((i % 2)) -eq 1 ]; then program=xdemo; else program=quab-play; fi
    fault=${FAULTS[$((RANDOM % ${#FAULTS[@]}))]}
    # Tenths of a second after the start: before the window and sound at times, mostly during
    # the show.
    delay=$((RANDOM % 35))
    dir="$WORK/show$i"
    run="$WORK/show$i-pulse"
    mkdir "$dir"
    cp "$WORK/quab.dat" "$WORK/music.xm" "$dir"

    start_own_pulse "$run" >/dev/null || { failed=$((failed + 1)); continue; }
    start_own_xvfb -screen 0 800x600x24 || { failed=$((failed + 1)); stop_servers; continue; }
    [ "$(own_streams)" -eq 0 ] || problems+=("the sound server did not start clean")
    [ -z "$(show_window)" ] || problems+=("the X server did not start clean")

    if [ $program = xdemo ]; then
        cmd=("$build/xdemo")
    else
        cmd=("$build/quab-play" --scale 1)
    fi
    # The show runs under a shell of its own, which keeps its status and takes the job message
    # of a show ended by a signal off the soak's output.
    rm -f "$dir.pid" "$dir.status"
    (
        cd "$dir" && sh -c 'echo $$ >"$0"; exec "$@"' "$dir.pid" env --default-signal=INT,TERM,HUP \
            DISPLAY="$xvfb_display" XDG_RUNTIME_DIR="$run" "${cmd[@]}" >"$dir.out" 2>"$dir.err"
        echo $? >"$dir.status"
    ) 2>/dev/null &
    wrapper=$!
    until [ -s "$dir.pid" ]; do sleep 0.01; done
    pid=$(cat "$dir.pid")
    cleanup_pids="$cleanup_pids $pid"
    sleep "$((delay / 10)).$((delay % 10))"
    sound_started=false
    [ "$(own_streams)" -gt 0 ] && sound_started=true
    apply_fault "$fault"
    asked_at=$fault_at
    if ! $ends_itself && kill -0 "$pid" 2>/dev/null; then
        sleep 1
        # xdemo shows its window only once its sound has started; without it, it ends by itself.
        if press_key; then
            asked_at=$(now)
        elif kill -0 "$pid" 2>/dev/null; then
            problems+=("no window for the key")
        fi
    fi
    limit=2
    $sound_started || limit=7
    wait_gone "$pid" 15 || {
        problems+=("still running 15 s after the fault")
        kill -9 "$pid"
    }
    took=$(awk -v a="$asked_at" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
    wait "$wrapper"
    rc=$(cat "$dir.status")
    at_most "$took" "$limit" || problems+=("ended $took s after the $($ends_itself && echo fault || echo key), expected within $limit s")
    check_end "$rc" "$dir" "$program" "$fault"

    left=$(processes_in "$dir")
    [ -z "$left" ] || { problems+=("processes left: $left"); kill -9 $left 2>/dev/null; }
    [ "$(ls -A "$dir" | tr '\n' ' ')" = "music.xm quab.dat " ] ||
        problems+=("files left: $(ls -A "$dir" | tr '\n' ' ')")
    stop_servers
    # With the X server gone too, a segment the show made is left only if nobody removes it.
    segments=$(ipcs -m -p 2>/dev/null | awk -v p="$pid" '$3 == p { print $1 }' | tr '\n' ' ')
    [ -z "$segments" ] || problems+=("shared memory left: $segments")

    note="$fault$([ -n "$fault_note" ] && echo " ($fault_note)") at $((delay * 100)) ms$($sound_started || echo ", before the sound")"
    if [ ${#problems[@]} -eq 0 ]; then
        passed=$((passed + 1))
        printf 'show %d %s: %s: ended %s s later, status %d: ok\n' "$i" "$program" "$note" "$took" "$rc"
    else
        failed=$((failed + 1))
        printf 'show %d %s: %s: ended %s s later, status %d: FAILED: %s\n' "$i" "$program" "$note" \
            "$took" "$rc" "$(printf '%s; ' "${problems[@]}" | sed 's/; $//')"
        sed 's/^/    stderr: /' "$dir.err" | head -n 5
    fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

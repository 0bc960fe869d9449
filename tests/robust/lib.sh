# Shared by the robustness tests: the end-to-end helpers (private servers' environment, scratch
# folder, content generators), xdemo started in the background, awaited and its window found,
# xdemo under valgrind's memcheck, and checks on its report.
# Sourced with the build folder as $1. QUAB_TEST_RUNDIR overrides the sound server's folder;
# QUAB_KEEP_WORK=1 keeps the scratch folder (outputs and memcheck logs) for a look afterwards.
. "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh" "$1"
ROBUST=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[ -n "${QUAB_TEST_RUNDIR:-}" ] && export XDG_RUNTIME_DIR="$QUAB_TEST_RUNDIR"

# Processes a test starts are ended with it, whatever way it ends, and files it names removed.
cleanup_pids=""
cleanup_files=()
cleanup() {
    for pid in $cleanup_pids; do
        kill -9 "$pid" 2>/dev/null
    done
    rm -f "${cleanup_files[@]}"
    [ -n "${QUAB_KEEP_WORK:-}" ] || rm -rf "$WORK"
}
trap cleanup EXIT

# memcheck: every error and every definitely lost block fails the run (exit 99); every block
# still in use at exit is listed, so that check_released can tell what was not released.
# Children that a library forks (D-Bus's autolaunch) hold a copy of xdemo's heap when they
# exit: they are not checked.
VALGRIND=(valgrind --tool=memcheck --leak-check=full --show-leak-kinds=all
    --child-silent-after-fork=yes
    --errors-for-leak-kinds=definite --error-exitcode=99 --num-callers=40
    --suppressions="$ROBUST/valgrind.supp")

# Runs xdemo under memcheck in folder $2; name $1 labels the outputs ($WORK/$1.out, .err, .vg).
# Extra arguments before xdemo are environment settings (NAME=VALUE). Leaves xdemo's status in
# $rc (124 when it ran past $VG_TIMEOUT seconds, default 120), and fails the check when
# memcheck reported an error.
vg_xdemo() {
    name=$1
    dir=$2
    shift 2
    (cd "$dir" && env "$@" timeout "${VG_TIMEOUT:-120}" "${VALGRIND[@]}" --log-file="$WORK/$name.vg" \
        "$BUILD/xdemo" >"$WORK/$name.out" 2>"$WORK/$name.err")
    rc=$?
    if [ $rc -eq 124 ]; then
        fail "$name: still running after ${VG_TIMEOUT:-120} s under memcheck (stopped)"
    elif [ $rc -eq 99 ] || grep -q 'ERROR SUMMARY: [1-9]' "$WORK/$name.vg" ||
        ! grep -q 'ERROR SUMMARY: ' "$WORK/$name.vg"; then
        fail "$name: memcheck found errors or definitely lost blocks"
        python3 "$ROBUST/vg_report.py" "$WORK/$name.vg" --errors >&2
    fi
}

# Fails when a block still in use at exit was allocated through one of the named functions
# (e.g. load_asset_file: the asset table was not released).
check_released() {
    name=$1
    shift
    python3 "$ROBUST/vg_report.py" "$WORK/$name.vg" --held "$@" >&2 ||
        fail "$name: still held at exit: $*"
}

# Number of playback streams the sound server holds (one per running show).
sound_streams() { pactl list short sink-inputs 2>/dev/null | wc -l; }

# Waits up to $2 seconds for xdemo (pid $1) to play: a playback stream on the sound server
# beyond the $3 there were before. False when it did not come, or xdemo ended first.
wait_for_sound() {
    local i=0
    while [ $i -lt $(($2 * 10)) ]; do
        kill -0 "$1" 2>/dev/null || return 1
        [ "$(sound_streams)" -gt "$3" ] && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}

# Waits up to $2 seconds for process $1 to end; false when it is still there.
wait_gone() {
    local i=0
    while kill -0 "$1" 2>/dev/null; do
        [ $i -ge $(($2 * 10)) ] && return 1
        sleep 0.1
        i=$((i + 1))
    done
    return 0
}

# Processes whose working folder is under $1 (a show that outlived its test would be one).
processes_in() {
    find /proc/[0-9]*/cwd -maxdepth 0 \( -lname "$1" -o -lname "$1/*" \) 2>/dev/null |
        cut -d/ -f3
}

# Starts a PulseAudio of the test's own, with the null sink "quab_sink", whose runtime folder is
# $1, so that the test may stop and kill it without touching the shared one. Sets pulse_pid;
# the server ends with the test.
start_own_pulse() {
    mkdir -p "$1"
    chmod 700 "$1"
    XDG_RUNTIME_DIR="$1" pulseaudio --daemonize=yes -n --exit-idle-time=-1 \
        --log-target=file:"$1/pulse.log" --load=module-native-protocol-unix \
        --load="module-null-sink sink_name=quab_sink" >/dev/null 2>&1
    local i=0
    while ! XDG_RUNTIME_DIR="$1" pactl info >/dev/null 2>&1; do
        if [ $i -ge 100 ]; then
            fail "the test's PulseAudio did not start: $(tail -n 5 "$1/pulse.log" 2>/dev/null)"
            return 1
        fi
        sleep 0.1
        i=$((i + 1))
    done
    XDG_RUNTIME_DIR="$1" pactl set-default-sink quab_sink
    pulse_pid=$(cat "$1/pulse/pid")
    cleanup_pids="$cleanup_pids $pulse_pid"
}

# Seconds since the epoch, with fractions.
now() { date +%s.%N; }
# True when $1 <= $2 (decimal numbers).
at_most() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a <= b) }'; }

# A module of 32 positions of 7.68 s each: a show on it cannot end by itself during a test.
make_long_module() { make_module "$1" --positions 32 --rows 64 --speed 6 --bpm 125; }

# Starts xdemo in folder $2, its outputs in $WORK/$1.out and .err; extra arguments are
# environment settings (NAME=VALUE). Sets demo; xdemo ends with the test at the latest.
start_xdemo() {
    local name=$1 dir=$2
    shift 2
    (cd "$dir" && exec env "$@" "$BUILD/xdemo" >"$WORK/$name.out" 2>"$WORK/$name.err") &
    demo=$!
    cleanup_pids="$cleanup_pids $demo"
}

# The id of xdemo's window once it shows (empty after 20 s without it).
xdemo_window() {
    timeout 20 xdotool search --sync --onlyvisible --name '^pim\.pasu -test$' | head -n 1
}

# Waits up to $1 seconds for xdemo ($demo) to end; fails with "$2" and kills it when it is still
# there. Leaves its exit status in $rc.
await_xdemo() {
    if ! wait_gone "$demo" "$1"; then
        fail "$2"
        kill -9 "$demo"
    fi
    wait "$demo"
    rc=$?
}

# Waits up to 2 s for the sound server to hold no more playback streams than $1; false when a
# stream stays.
streams_back_to() {
    local i=0
    while [ "$(sound_streams)" -gt "$1" ] && [ $i -lt 20 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    [ "$(sound_streams)" -le "$1" ]
}

# Starts an X server of the test's own with the given Xvfb arguments (its screens); it picks a
# free display number and writes it to descriptor 5 once it accepts clients. Sets xvfb_pid and
# xvfb_display (":N"); the server ends with the test, and its lock and socket, which a killed
# server leaves behind, are removed.
start_own_xvfb() {
    local log="$WORK/xvfb-$$-$RANDOM"
    Xvfb -displayfd 5 -nolisten tcp "$@" 5>"$log.display" >"$log.log" 2>&1 &
    xvfb_pid=$!
    cleanup_pids="$cleanup_pids $xvfb_pid"
    local i=0
    while ! grep -q '^[0-9]\+$' "$log.display" 2>/dev/null; do
        if [ $i -ge 100 ] || ! kill -0 $xvfb_pid 2>/dev/null; then
            fail "the test's X server did not start: $(cat "$log.log")"
            return 1
        fi
        sleep 0.1
        i=$((i + 1))
    done
    local num
    num=$(cat "$log.display")
    xvfb_display=":$num"
    cleanup_files+=("/tmp/.X$num-lock" "/tmp/.X11-unix/X$num")
}

# Starts quab-play in folder $1 with outputs to $WORK/$2.out and .err; the arguments after are
# environment settings (NAME=VALUE) and then quab-play's options. SIGINT and SIGTERM get their
# default actions back (a shell's background jobs start with SIGINT ignored). Sets play (its pid)
# and window (once it is shown, within 20 s; empty when it did not come).
start_play() {
    local dir=$1 name=$2
    shift 2
    (cd "$dir" && exec env --default-signal=INT,TERM "$@" >"$WORK/$name.out" 2>"$WORK/$name.err") &
    play=$!
    cleanup_pids="$cleanup_pids $play"
    # One search at a time: a search that meets a window SDL destroys under it fails as a whole.
    local i=0
    window=""
    while [ -z "$window" ] && [ $i -lt 200 ] && kill -0 $play 2>/dev/null; do
        window=$(DISPLAY="${play_display:-$DISPLAY}" xdotool search --onlyvisible --pid $play \
            --name '^QUAB' 2>/dev/null | head -n 1)
        [ -n "$window" ] || sleep 0.1
        i=$((i + 1))
    done
}

# Presses key $1 in quab-play's window as a user does: the pointer in the window, then the key.
play_key() {
    DISPLAY="${play_display:-$DISPLAY}" xdotool mousemove --window "$window" 10 10 key "$1"
}

# Checks how quab-play (pid $play, outputs $WORK/$1.*) ended: status $2 within $3 seconds of the
# moment $4 (from now), standard error $5 exactly (empty: nothing). A status 0 comes with the
# playtime line after the loader's. Prints how long it took.
expect_play_end() {
    local name=$1 status=$2 within=$3 since=$4 err=$5
    wait_gone $play $((${within%.*} + 5)) || { fail "$name: quab-play still running"; kill -9 $play; }
    local took
    took=$(awk -v a="$since" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }')
    wait $play
    local rc=$?
    echo "$name: quab-play ended $took s after the fault, status $rc"
    at_most "$took" "$within" || fail "$name: ended $took s after the fault, expected within $within s"
    [ $rc -eq "$status" ] || fail "$name: exit status $rc, expected $status"
    if [ "$status" -eq 0 ]; then
        grep -q '^Total playtime: [0-9]\+:[0-9]\+$' "$WORK/$name.out" ||
            fail "$name: no playtime line: $(cat "$WORK/$name.out")"
    else
        grep -q '^Total playtime' "$WORK/$name.out" && fail "$name: a playtime line after a failure"
    fi
    expect_file "$name: standard error" "$WORK/$name.err" "$err"
}

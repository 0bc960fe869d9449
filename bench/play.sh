#!/bin/bash
# quab-play against xdemo on one private Xvfb and PulseAudio (null sink), in one run:
#  1. CPU time of the program and of the X server over the same seconds of the same show (the
#     show's own content), xdemo first, then quab-play at its default size and at --scale 1;
#     each quab-play figure as a share of xdemo's.
#  2. The output latency quab-play's clock accounts for (how far the sample it shows is behind
#     the samples handed to the sound server) against the latency the sound server reports for
#     its stream (pactl: buffer latency plus sink latency), both averaged over the same seconds.
# Usage: bench/play.sh BUILD DISPLAYNUM [SECONDS]   (Google Benchmark cannot time other processes)
set -u
BUILD=$(cd "$1" && pwd)
NUM=$2
SECONDS_MEASURED=${3:-10}
RUN=$(mktemp -d /tmp/quab-bench-play-XXXXXX)
ROOT=$(cd "$(dirname "$0")/.." && pwd)
trap '"$ROOT/scripts/services.sh" stop "$RUN/services" "$NUM"; rm -rf "$RUN"' EXIT
"$ROOT/scripts/services.sh" start "$RUN/services" "$NUM" || exit 1
export DISPLAY=":$NUM" XDG_RUNTIME_DIR="$RUN/services"
unset PULSE_SERVER
"$BUILD/quab-assets" build "$RUN/quab.dat" >/dev/null || exit 1
"$BUILD/quab-music" "$RUN/music.xm" >/dev/null || exit 1
cd "$RUN" || exit 1
XPID=$(cat "$RUN/services/xvfb.pid")
HZ=$(getconf CLK_TCK)

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Runs the command for 2 s of start-up plus the measured seconds; prints "program_s x_s".
measure() {
    "$@" >/dev/null 2>&1 &
    local pid=$!
    sleep 2
    local p0 x0 p1 x1
    p0=$(cpu_ticks $pid)
    x0=$(cpu_ticks "$XPID")
    sleep "$SECONDS_MEASURED"
    p1=$(cpu_ticks $pid)
    x1=$(cpu_ticks "$XPID")
    kill -TERM $pid
    wait $pid 2>/dev/null
    awk -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v hz="$HZ" \
        'BEGIN {printf "%.2f %.2f\n", p / hz, x / hz}'
}

echo "CPU seconds over $SECONDS_MEASURED s of the show (from second 2), program + X server:"
read -r xd_p xd_x < <(measure "$BUILD/xdemo")
printf '  %-28s %6.2f + %6.2f\n' "xdemo" "$xd_p" "$xd_x"
for args in "" "--scale 1"; do
    # shellcheck disable=SC2086
    read -r qp_p qp_x < <(measure "$BUILD/quab-play" $args)
    printf '  %-28s %6.2f + %6.2f   %.3f of xdemo'"'"'s\n' "quab-play $args" "$qp_p" "$qp_x" \
        "$(awk -v a="$qp_p" -v b="$qp_x" -v c="$xd_p" -v d="$xd_x" \
            'BEGIN {print (a + b) / (c + d)}')"
done

echo "Output latency, averaged over $SECONDS_MEASURED s:"
QUAB_PLAY_TRACE=1 "$BUILD/quab-play" --scale 1 >/dev/null 2>"$RUN/trace" &
pid=$!
sleep 3
end=$((SECONDS + SECONDS_MEASURED))
: >"$RUN/pactl"
while [ $SECONDS -lt $end ]; do
    pactl list sink-inputs | awk '/Buffer Latency:/ {b = $3} /Sink Latency:/ {s = $3}
        END {print (b + s) / 1000}' >>"$RUN/pactl"
    sleep 0.1
done
kill -TERM $pid
wait $pid 2>/dev/null
# The first seconds are the sound server starting the stream; the clock waits for it.
accounted=$(awk '/^trace: [0-9]+ frames/ {n++; if (n > 3) {s += $6; k++}} END {print s / k}' \
    "$RUN/trace")
reported=$(awk '{s += $1; n++} END {print s / n}' "$RUN/pactl")
printf '  quab-play accounts %.2f ms; PulseAudio reports %.2f ms (%d readings); %s %.2f ms\n' \
    "$accounted" "$reported" "$(wc -l <"$RUN/pactl")" "difference" \
    "$(awk -v a="$accounted" -v r="$reported" 'BEGIN {print a - r}')"

#!/bin/sh
# Starts (or stops) a private X server (Xvfb) and a private PulseAudio sound server with a null
# sink, for the tests that meet the outside world. Usage: services.sh start|stop RUNDIR DISPLAYNUM
# Clients use DISPLAY=:DISPLAYNUM and XDG_RUNTIME_DIR=RUNDIR; the sink is "quab_sink" and its
# monitor "quab_sink.monitor".
set -u
action=$1
rundir=$(mkdir -p "$2" && cd "$2" && pwd)
num=$3

case "$action" in
start)
    "$0" stop "$rundir" "$num" >/dev/null 2>&1
    mkdir -p "$rundir"
    chmod 700 "$rundir"
    # Xvfb offers depth-32 ARGB visuals beside the depth-24 root, as desktop servers do.
    Xvfb ":$num" -screen 0 1024x768x24 -nolisten tcp >"$rundir/xvfb.log" 2>&1 &
    echo $! >"$rundir/xvfb.pid"
    XDG_RUNTIME_DIR="$rundir" pulseaudio --daemonize=yes -n --exit-idle-time=-1 \
        --log-target=file:"$rundir/pulse.log" \
        --load=module-native-protocol-unix \
        --load="module-null-sink sink_name=quab_sink" >/dev/null 2>&1
    i=0
    while [ $i -lt 100 ]; do
        if DISPLAY=":$num" xdpyinfo >/dev/null 2>&1 &&
            XDG_RUNTIME_DIR="$rundir" pactl info >/dev/null 2>&1; then
            XDG_RUNTIME_DIR="$rundir" pactl set-default-sink quab_sink
            exit 0
        fi
        i=$((i + 1))
        sleep 0.1
    done
    echo "services.sh: Xvfb :$num or PulseAudio did not come up (see $rundir)" >&2
    exit 1
    ;;
stop)
    XDG_RUNTIME_DIR="$rundir" pulseaudio --kill >/dev/null 2>&1
    if [ -f "$rundir/xvfb.pid" ]; then
        kill "$(cat "$rundir/xvfb.pid")" 2>/dev/null
        rm -f "$rundir/xvfb.pid"
    fi
    rm -f "/tmp/.X$num-lock" "/tmp/.X11-unix/X$num" 2>/dev/null
    exit 0
    ;;
*)
    echo "usage: services.sh start|stop RUNDIR DISPLAYNUM" >&2
    exit 2
    ;;
esac

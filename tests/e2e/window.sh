#!/bin/bash
# The window as the X server sees it: its names, class and process, fixed size hints, the command
# property, and a depth-24 visual on a server whose depth-32 visuals carry alpha (Xvfb offers both).
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
make_module "$WORK/music.xm" --positions 32 --rows 64 --speed 6 --bpm 125
(cd "$WORK" && timeout 60 "$BUILD/xdemo" >"$WORK/out" 2>"$WORK/err") &
demo=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^pim\.pasu -test$' | head -n 1)
[ -n "$window" ] || { fail "the window did not appear"; kill $demo; finish; }

xdpyinfo | grep -q 'depths.*32' || fail "the test server offers no depth-32 visual"
info=$(xwininfo -id "$window")
echo "$info" | grep -q 'Width: 320$' || fail "width: $info"
echo "$info" | grep -q 'Height: 240$' || fail "height: $info"
echo "$info" | grep -q 'Depth: 24$' || fail "depth: $info"
echo "$info" | grep -q 'Visual Class: TrueColor$' || fail "visual class: $info"

props=$(xprop -id "$window" WM_NAME WM_ICON_NAME WM_NORMAL_HINTS WM_COMMAND WM_CLASS _NET_WM_PID)
# The class names the desktop entry (its StartupWMClass); the PID is the show's own process.
class=$(sed -n 's/^StartupWMClass=//p' "$(dirname "$0")/../../data/desktop/org.quab.Quab.desktop")
demo_pid=$(pgrep -P "$(pgrep -P $demo -x timeout || echo $demo)" -x xdemo)
for line in 'WM_NAME(STRING) = "pim.pasu -test"' \
    'WM_ICON_NAME(STRING) = "pim.pasu -test"' \
    'program specified minimum size: 320 by 240' \
    'program specified maximum size: 320 by 240' \
    "WM_COMMAND(STRING) = { \"$BUILD/xdemo\" }" \
    "WM_CLASS(STRING) = \"xdemo\", \"${class:-no StartupWMClass}\"" \
    "_NET_WM_PID(CARDINAL) = ${demo_pid:-none}"; do
    echo "$props" | grep -qF "$line" || fail "missing property line: $line"
done

# Motion and exposure do not end the show; a key does.
xdotool mousemove --window "$window" 10 10 mousemove --window "$window" 200 100
sleep 0.5
kill -0 $demo 2>/dev/null || fail "pointer motion ended the show"
xdotool key Return
wait $demo
rc=$?
[ $rc -eq 0 ] || fail "exit status $rc after the key"
finish

#!/bin/bash
# quab-play's frames after a start at a position, a loop going round and a reload, each against
# quab-render's straight run of one pass per tick from tick 0; and the show holding up against
# what a user can put in its way: FIFOs and a huge file where it reads, a killed checker, closed
# standard error, a short write.
# Usage: play_exact.sh BUILD XDND_DROP_HELPER
. "$(dirname "$0")/lib.sh" "$1"
DROP=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
DESKTOP="$(cd "$(dirname "$0")/../../data/desktop" && pwd)/org.quab.Quab.desktop"
TOOLS="$(cd "$(dirname "$0")" && pwd)/play_tools.py"
PLAY="$BUILD/quab-play"

make_assets "$WORK/quab.dat"
# One row per song position: 31 player ticks of 44100 * 125 / (32 * 50) = 3445 samples (the
# mixer's whole samples per tick), so position p starts at sample 106795 * p.
make_module "$WORK/still.xm" --positions 32 --rows 1 --speed 31 --bpm 32
cd "$WORK" || exit 1
"$BUILD/quab-assets" unpack quab.dat pics >/dev/null || fail "quab-assets unpack"
layer0=$(ls pics/00-*.png)
python3 "$TOOLS" solid-png 256 256 ff0000 "$layer0"
"$BUILD/quab-assets" build red.dat --from pics >/dev/null || fail "quab-assets build"

# Whether the window's picture holds any pixel that is not black.
not_black() {
    xwd -silent -id "$window" >shot.xwd
    python3 -c "import sys; sys.path.insert(0, sys.argv[1]); from play_tools import read_xwd
w, h, pixel = read_xwd(sys.argv[2])
sys.exit(0 if any(pixel(x, y) for y in range(0, h, 2) for x in range(0, w, 2)) else 1)" \
        "$(dirname "$TOOLS")" shot.xwd
}

# On the song's own positions (--no-fit), which the positions and ticks below count.
start_play() {
    "$PLAY" --no-fit "$@" >"$WORK/out" 2>"$WORK/err" &
    pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^QUAB' | head -n 1)
    [ -n "$window" ] || fail "no window for quab-play $*: $(cat "$WORK/err")"
}

end_play() {
    xdotool key --window "$window" Escape
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && { kill "$pid"; fail "$1: Esc did not end the show"; }
    wait "$pid" || fail "$1: status $? at the end"
}

# Saves the frame on screen (paused) with F12 and checks it against the straight run over
# ASSETS: tick t's pass at song position max p with 106795 * p <= 882 * t (the tick's first
# sample), row 0. Live passes fall on the display's refreshes, not on every tick, so only the
# first frame after a seek is the straight run's.
check_frame() {
    name=$1
    assets=$2
    xdotool key --window "$window" F12
    sleep 0.5
    shot=$(grep -o 'saved quab-[0-9-]*\.png' "$WORK/err" | tail -n 1 | cut -d' ' -f2)
    [ -n "$shot" ] || { fail "$name: no frame saved: $(cat "$WORK/err")"; return; }
    IFS=- read -r _ position row tick <<<"${shot%.png}"
    awk -v last="$tick" 'BEGIN { for (t = 0; t <= last; t++) print t, int(882 * t / 106795), 0 }' \
        >timeline
    [ "$position $row" = "$(tail -n 1 timeline | cut -d' ' -f2-)" ] ||
        fail "$name: $shot is not at tick $tick's position and row"
    rm -rf render
    "$BUILD/quab-render" "$assets" timeline render >/dev/null || fail "$name: quab-render"
    python3 "$TOOLS" png-is-frame "$shot" "$(printf 'render/frame_%05d.raw' "$tick")" ||
        fail "$name: $shot is not the uninterrupted show's frame"
    rm -rf render "$shot"
}

# --- The start at a position shows its picture; a loop goes round and round; a reload of the
# asset file while paused shows the uninterrupted show's frame with the new file.
start_play --music still.xm --start 1 --scale 1 --mute
sleep 0.3
not_black || fail "--start 1 is black"
end_play "--start 1"
start_play --music still.xm --loop 1-1 --scale 1 --mute
positions=$(timeout 6 xprop -spy -id "$window" _NET_WM_NAME | grep -o 'position [0-9]*' |
    awk '{print $2}' | tr '\n' ' ')
not_black || fail "the loop's round is black"
end_play "--loop 1-1"
[ -z "$(echo "$positions" | tr -d '1 ')" ] || fail "--loop 1-1 left position 1: $positions"
rm -f show.dat && cp quab.dat show.dat
start_play --assets show.dat --music still.xm --loop 1-1 --scale 1 --mute --watch
sleep 1
xdotool key --window "$window" space
cp red.dat show.dat.part && mv show.dat.part show.dat
sleep 1
grep -qF "reloaded show.dat" "$WORK/err" || fail "no reload: $(cat "$WORK/err")"
check_frame "a reload at position 1" red.dat
xdotool key --window "$window" space
sleep 2.6
xdotool key --window "$window" space
cp quab.dat show.dat.part && mv show.dat.part show.dat
sleep 1
check_frame "a reload back, a round later" quab.dat
end_play "the reloads"

# --- What a user puts where the show reads while it plays: one line each, the show answers Esc.
mkfifo pipe.xm
truncate -s 65M huge.dat
while IFS='|' read -r name expected action; do
    rm -f show.dat && cp quab.dat show.dat
    start_play --assets show.dat --music still.xm --scale 1 --mute --watch
    sleep 0.5
    eval "$action"
    sleep 1.5
    grep -qF -- "$expected" "$WORK/err" || fail "$name: no \"$expected\" in: $(cat "$WORK/err")"
    end_play "$name"
done <<EOF
a FIFO saved over the asset file|show.dat: not a regular file|mkfifo .f && mv .f show.dat
a FIFO dropped on the window|pipe.xm: not a regular file|"\$DROP" "\$window" "\$WORK/pipe.xm"
a 65 MB asset file saved|show.dat: cannot load the asset file: larger than 64 MB|cp huge.dat show.dat.part && mv show.dat.part show.dat
EOF
"$PLAY" --assets huge.dat --music still.xm --mute >/dev/null 2>"$WORK/err"
[ $? -eq 1 ] && grep -qF "larger than 64 MB" "$WORK/err" || fail "a 65 MB asset file at start"

# --- Saves the watch must not miss: at a symlink's target, in a folder renamed or deleted and made
# again (said once when it goes).
mkdir real d e
cp quab.dat real/show.dat
ln -s real/show.dat link.dat
cp quab.dat d/show.dat
cp quab.dat e/show.dat
while IFS='|' read -r name assets action gone; do
    start_play --assets "$assets" --music still.xm --scale 1 --mute --watch
    sleep 0.5
    eval "$action"
    sleep 2
    grep -qF "reloaded $assets" "$WORK/err" || fail "$name: no reload: $(cat "$WORK/err")"
    [ "$(grep -c "has gone" "$WORK/err")" -eq "$gone" ] ||
        fail "$name: the watch's loss said other than $gone time(s): $(cat "$WORK/err")"
    end_play "$name"
done <<EOF
a save at a symlink's target|link.dat|cp red.dat real/n && mv real/n real/show.dat|0
a folder renamed and made again|d/show.dat|mv d d.old && sleep 0.5 && mkdir d && cp red.dat d/show.dat|1
a folder deleted and made again|e/show.dat|rm -r e && sleep 0.5 && mkdir e && cp red.dat e/show.dat|1
EOF

# --- A killed checker: the show goes on without checks and says so once; a save still reloads.
start_play --music still.xm --scale 1 --mute --watch
sleep 0.5
checker=$(ps -o pid=,comm= --ppid "$pid" | awk '$2 == "quab-play-check" {print $1}')
[ -n "$checker" ] || fail "no process named quab-play-check beside quab-play"
[ -n "$checker" ] && kill -9 "$checker"
sleep 0.5
cp still.xm still.xm.part && mv still.xm.part still.xm
sleep 2
[ "$(grep -c "the check of saves has ended" "$WORK/err")" -eq 1 ] ||
    fail "the checker's end said other than once: $(cat "$WORK/err")"
grep -qF "reloaded still.xm" "$WORK/err" || fail "no reload after the checker died"
end_play "a killed checker"
grep -qE '^Total playtime: ' "$WORK/out" || fail "no playtime line after the checker died"

# --- F12 with standard error closed, then Esc; F12 past the file size limit names the cause.
"$PLAY" --music still.xm --scale 1 --mute >"$WORK/out" 2>&- &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^QUAB' | head -n 1)
xdotool key --window "$window" F12
sleep 0.5
end_play "standard error closed"
ls quab-*.png >/dev/null 2>&1 || fail "F12 with standard error closed saved nothing"
rm -f quab-*.png
(
    ulimit -f 1
    trap '' XFSZ
    exec "$PLAY" --music still.xm --scale 1 --mute >"$WORK/out" 2>"$WORK/err"
) &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^QUAB' | head -n 1)
xdotool key --window "$window" F12
sleep 0.5
end_play "a short write"
grep -qE "quab-[0-9-]*\.png: cannot write: File too large" "$WORK/err" ||
    fail "a short write: $(cat "$WORK/err")"

# --- The window: the class the desktop entry names, and the show's icon at 64 pixels.
class=$(sed -n 's/^StartupWMClass=//p' "$DESKTOP")
start_play --music still.xm --scale 1 --mute
xprop -id "$window" WM_CLASS | grep -qF "\"$class\"" ||
    fail "WM_CLASS $(xprop -id "$window" WM_CLASS) does not name $class"
xprop -id "$window" _NET_WM_ICON | grep -qF "Icon (64 x 64)" ||
    fail "no 64x64 icon: $(xprop -id "$window" _NET_WM_ICON | head -c 200)"
end_play "the window"
finish

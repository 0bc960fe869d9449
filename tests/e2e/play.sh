#!/bin/bash
# quab-play against a real X server, PulseAudio's null sink and real key presses: its answers to
# bad options and files, the window's size and picture, full screen, the ways to end, the jumps,
# pause, files dropped on the window, and the clock that follows the sound heard.
# Usage: play.sh BUILD CLOSE_WINDOW_HELPER XDND_DROP_HELPER
. "$(dirname "$0")/lib.sh" "$1"
CLOSE_WINDOW=$2
DROP=$3
TOOLS="$(cd "$(dirname "$0")" && pwd)/play_tools.py"
PLAY="$BUILD/quab-play"
. "$BUILD/timeline.sh" || fail "timeline.sh"

make_assets "$WORK/quab.dat"
# 7.7 s per song position, a tone on every row.
make_module "$WORK/music.xm" --positions 32 --rows 64 --speed 6 --bpm 125
# Row 0 only (Scene 7 shows its background alone), 2.4 s per song position. This song and the
# clicks below do not meet the show's needs: played with --no-fit, the show follows their own
# positions.
make_module "$WORK/still.xm" --positions 32 --rows 1 --speed 31 --bpm 32
# A click at the start of every song position, 1.92 s apart.
make_module "$WORK/click.xm" --positions 32 --rows 16 --speed 6 --bpm 125 --click
cd "$WORK" || exit 1

# Starts quab-play in the background with the given options; sets $pid and $window.
# These tests are of the song's own positions (the fitted show's are in fit.sh): --no-fit.
start_play() {
    "$PLAY" --no-fit "$@" >"$WORK/out" 2>"$WORK/err" &
    pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^QUAB' | head -n 1)
    [ -n "$window" ] || fail "no window for quab-play $*: $(cat "$WORK/err")"
}

# Waits for the title to contain the text (up to 5 s).
wait_title() {
    for _ in $(seq 50); do
        case "$(xdotool getwindowname "$window" 2>/dev/null)" in *"$1"*) return 0 ;; esac
        sleep 0.1
    done
    fail "title never had \"$1\"; it is \"$(xdotool getwindowname "$window")\""
    return 1
}

size_of() { xwininfo -id "$window" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'; }

# Ends the show with the given action and checks status 0 and the playtime line.
end_with() {
    "$@"
    wait "$pid"
    rc=$?
    [ $rc -eq 0 ] || fail "status $rc after $*"
    grep -qE '^Total playtime: [0-9]+:[0-9]+$' "$WORK/out" || fail "no playtime line after $*"
}

# --- Answers without a show: status and the one line.
"$PLAY" --help >"$WORK/help" 2>&1 || fail "--help status $?"
grep -q '^Usage: quab-play' "$WORK/help" || fail "--help prints no usage"
[ "$("$PLAY" --version)" = "quab-play $QUAB_VERSION" ] || fail "--version"
while IFS='|' read -r status expected args; do
    # shellcheck disable=SC2086
    env $args >"$WORK/out" 2>"$WORK/err" </dev/null
    rc=$?
    [ $rc -eq "$status" ] || fail "$args: status $rc, expected $status"
    grep -qF -- "$expected" "$WORK/err" || fail "$args: no \"$expected\" in: $(cat "$WORK/err")"
done <<EOF
2|quab-play: --scale 0: not a whole number from 1 to 16|$PLAY --scale 0
2|quab-play: --start 30: not a whole number from 0 to 29|$PLAY --start 30
2|quab-play: --buffer 9: not a whole number from 10 to 5000|$PLAY --buffer 9
2|quab-play: unknown option --loud|$PLAY --loud
2|quab-play: --music needs a value|$PLAY --music
2|quab-play: more than one module given: a.xm and b.xm|$PLAY a.xm b.xm
2|quab-play: more than one module given: a.xm and b.xm|$PLAY a.xm --music b.xm
1|quab-play: $WORK/none.dat: cannot load the asset file|$PLAY --assets $WORK/none.dat
1|quab-play: $WORK/none.xm: cannot load the module: |$PLAY --music $WORK/none.xm
1|quab-play: cannot open a window: |-u DISPLAY -u WAYLAND_DISPLAY $PLAY
EOF

# --- The window: two thirds of the 1024x768 screen hold 640x480 at most; its class.
start_play
[ "$(size_of)" = "640x480" ] || fail "default size $(size_of), expected 640x480"
xprop -id "$window" WM_CLASS | grep -q '"org.quab.Quab"' ||
    fail "class: $(xprop -id "$window" WM_CLASS)"
wait_title "QUAB: Scene 1, ${SCENE_NAMES[0]} (position 0)"
end_with xdotool key --window "$window" Escape

# --- The picture: Scene 7 at row 0 is its background, which no clock moves; paused there, the
# window at scale 3 shows quab-render's frame, every frame pixel a sharp 3x3 square.
printf '0 21 0\n' >"$WORK/still.timeline"
"$BUILD/quab-render" "$WORK/quab.dat" "$WORK/still.timeline" "$WORK/render" >/dev/null ||
    fail "quab-render"
start_play --music still.xm --start 21 --scale 3
wait_title "Scene 7, ${SCENE_NAMES[6]} (position $SCENE7_POSITION)"
xdotool key --window "$window" space
wait_title "paused"
sleep 0.2
xwd -silent -id "$window" >"$WORK/still.xwd"
python3 "$TOOLS" same-picture "$WORK/still.xwd" "$WORK/render/frame_00000.raw" 3 ||
    fail "the window does not show quab-render's frame"
end_with xdotool key --window "$window" q

# --- The show ends by itself once the song passes position 29, or when the song ends first.
make_module "$WORK/five.xm" --positions 5 --rows 1 --speed 31 --bpm 32
for args in "--music still.xm --no-fit --start 29" "--music five.xm --no-fit --start 3"; do
    # shellcheck disable=SC2086
    timeout 20 "$PLAY" --scale 1 $args >"$WORK/out" 2>"$WORK/err"
    rc=$?
    [ $rc -eq 0 ] || fail "$args: status $rc at the end of the show"
    grep -qE '^Total playtime: [0-9]+:[0-9]+$' "$WORK/out" || fail "$args: no playtime line"
done

# --- Jumps: Right and Left move a song position and set the scene up.
start_play --start 9 --scale 1
wait_title "Scene 2, ${SCENE_NAMES[1]} (position 9)"
xdotool key --window "$window" Right
wait_title "Scene 3, ${SCENE_NAMES[2]} (position 10)"
xdotool key --window "$window" Right Right
wait_title "Scene 4, ${SCENE_NAMES[3]} (position 12)"
xdotool key --window "$window" Left Left Left
wait_title "Scene 2, ${SCENE_NAMES[1]} (position 9)"
# Keys without a meaning here do nothing.
xdotool key --window "$window" a Return Up Down
sleep 0.3
kill -0 "$pid" 2>/dev/null || fail "a key without a meaning ended the show"
end_with "$CLOSE_WINDOW" "$window"

# --- Files dropped on the window, as a file manager drops them (XDND): one libmikmod cannot load
# is one line and the show goes on; a module starts the show again from the beginning with it.
printf 'not a module\n' >"$WORK/notes.txt"
make_module "$WORK/short.xm" --positions 3 --rows 16 --speed 6 --bpm 125
start_play --music still.xm --start 9 --scale 1
wait_title "Scene 2, polar flash (position 9)"
"$DROP" "$window" "$WORK/notes.txt" || fail "the text file's drop was not finished"
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "an unloadable module ended the show"
[ "$(grep -c notes.txt "$WORK/err")" -eq 1 ] &&
    grep -qx "quab-play: $WORK/notes.txt: cannot load the module: .*; the show goes on" \
        "$WORK/err" || fail "the unloadable module's line: $(cat "$WORK/err")"
wait_title "Scene 2, polar flash (position 9)"
"$DROP" "$window" "$WORK/short.xm" || fail "the module's drop was not finished"
wait_title "Scene 1, masked twin scroll (position 0)"
wait_title "Scene 1, masked twin scroll (position 1)"
end_with xdotool key --window "$window" Escape

# --- Pause: the sink's monitor goes silent and the picture holds; both come back.
start_play --scale 1
sleep 1.5
[ "$(python3 "$TOOLS" level 0.5)" -gt 1000 ] || fail "no sound while playing"
xwd -silent -id "$window" >"$WORK/a.xwd"
sleep 0.3
xwd -silent -id "$window" >"$WORK/b.xwd"
python3 "$TOOLS" same-dump "$WORK/a.xwd" "$WORK/b.xwd" && fail "Scene 1 does not move while playing"
xdotool key --window "$window" space
sleep 0.3
[ "$(python3 "$TOOLS" level 0.5)" -eq 0 ] || fail "sound while paused"
xwd -silent -id "$window" >"$WORK/a.xwd"
sleep 0.3
xwd -silent -id "$window" >"$WORK/b.xwd"
python3 "$TOOLS" same-dump "$WORK/a.xwd" "$WORK/b.xwd" || fail "the picture moves while paused"
xdotool key --window "$window" space
sleep 0.3
[ "$(python3 "$TOOLS" level 0.5)" -gt 1000 ] || fail "no sound after resuming"
end_with kill -TERM "$pid"

# --- Full screen, under a window manager that grants it.
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
start_play --scale 1
[ "$(size_of)" = "320x240" ] || fail "--scale 1 size $(size_of)"
xdotool key --window "$window" F11
sleep 0.5
[ "$(size_of)" = "1024x768" ] || fail "F11: size $(size_of), expected the screen's 1024x768"
xdotool key --window "$window" alt+Return
sleep 0.5
[ "$(size_of)" = "320x240" ] || fail "Alt+Enter: size $(size_of), expected 320x240 again"
end_with xdotool key --window "$window" q
start_play --fullscreen
sleep 0.5
[ "$(size_of)" = "1024x768" ] || fail "--fullscreen: size $(size_of)"
end_with "$CLOSE_WINDOW" "$window"
kill "$wm"
wait "$wm" 2>/dev/null

# --- The clock follows the sound heard: with two seconds of sound mixed ahead, each song position
# still shows within 50 ms of its click reaching the sink (following the mixing it would show
# two seconds early).
python3 "$TOOLS" follow 9 "$PLAY" --music click.xm --no-fit --scale 1 --buffer 2000 >"$WORK/follow"
[ "$(wc -l <"$WORK/follow")" -ge 3 ] ||
    fail "fewer than 3 positions followed: $(cat "$WORK/follow")"
while read -r position offset_ms; do
    [ "${offset_ms#-}" -le 50 ] || fail "position $position shown $offset_ms ms from its click"
done <"$WORK/follow"

# --- Silent, by choice and without a sound output: 50 ticks a second, so the 1.92 s song
# positions change 5,760 ms apart over three of them.
python3 "$TOOLS" titles 10 "$PLAY" --music click.xm --no-fit --scale 1 --mute >"$WORK/titles"
span=$(awk '$1 == 4 {t4 = $2} $1 == 1 {t1 = $2} END {print t4 - t1}' "$WORK/titles")
[ "$span" -ge 5700 ] && [ "$span" -le 5820 ] ||
    fail "muted: positions 1 to 4 took $span ms, not 5,760: $(cat "$WORK/titles")"
mkdir -p "$WORK/no-sound"
chmod 700 "$WORK/no-sound"
XDG_RUNTIME_DIR="$WORK/no-sound" SDL_AUDIODRIVER=pulseaudio start_play --scale 1
sleep 0.5
end_with xdotool key --window "$window" Escape
grep -qx "no sound output: playing without sound" "$WORK/err" ||
    fail "no sound output: $(cat "$WORK/err")"
finish

#!/bin/bash
# quab-play as the maker's bench, against a real X server, PulseAudio's null sink and real key
# presses: F12's frames and the tick steps against quab-render, the loop, reload on save of
# pictures, asset file and module (bad saves keep the show), and the bench's bad options.
# Usage: play_bench.sh BUILD
. "$(dirname "$0")/lib.sh" "$1"
TOOLS="$(cd "$(dirname "$0")" && pwd)/play_tools.py"
PLAY="$BUILD/quab-play"

make_assets "$WORK/quab.dat"
# 7.7 s per song position.
make_module "$WORK/music.xm" --positions 32 --rows 64 --speed 6 --bpm 125
# Row 0 only, 2.4 s per song position: short of the show's needs, played with --no-fit.
make_module "$WORK/still.xm" --positions 32 --rows 1 --speed 31 --bpm 32
cd "$WORK" || exit 1
"$BUILD/quab-assets" unpack quab.dat pics >/dev/null || fail "quab-assets unpack"

# These tests are of the song's own positions (the fitted show's are in fit.sh): --no-fit.
start_play() {
    "$PLAY" --no-fit "$@" >"$WORK/out" 2>"$WORK/err" &
    pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" --name '^QUAB' | head -n 1)
    [ -n "$window" ] || fail "no window for quab-play $*: $(cat "$WORK/err")"
}

end_play() {
    xdotool key --window "$window" Escape
    wait "$pid" || fail "status $? at the end"
}

title() { xdotool getwindowname "$window"; }

# The window's colour at 5,5 becomes $1 within 2 s (the reload is due within half a second; the
# rest is room for a busy machine).
wait_colour() {
    for _ in $(seq 20); do
        xwd -silent -id "$window" >"$WORK/shot.xwd"
        [ "$(python3 "$TOOLS" window-colour "$WORK/shot.xwd" 5 5)" = "$1" ] && return 0
        sleep 0.1
    done
    fail "the window never showed $1 (last $(python3 "$TOOLS" window-colour "$WORK/shot.xwd" 5 5))"
}

# Waits up to 2 s (or $3 tenths of a second) for standard error to hold $2 lines with the text $1.
wait_lines() {
    for _ in $(seq "${3:-20}"); do
        [ "$(grep -cF -- "$1" "$WORK/err")" -ge "$2" ] && break
        sleep 0.1
    done
    [ "$(grep -cF -- "$1" "$WORK/err")" -eq "$2" ] ||
        fail "expected $2 line(s) with \"$1\"; standard error: $(cat "$WORK/err")"
}

# Saves as an editor does: a temporary written whole, then renamed over the file.
save_as() { cp "$1" "$2.part" && mv "$2.part" "$2"; }

# --- Bad options and folders: the usage line or one clear line, statuses 2 and 1.
mkdir -p short misnamed
cp pics/*.png short/
rm short/17-scene7-background.png
cp pics/*.png misnamed/
mv misnamed/18-scene7-word-1.png misnamed/18-word.png
while IFS='|' read -r status expected args; do
    # shellcheck disable=SC2086
    "$PLAY" $args >"$WORK/out" 2>"$WORK/err" </dev/null
    rc=$?
    [ $rc -eq "$status" ] || fail "$args: status $rc, expected $status"
    grep -qF -- "$expected" "$WORK/err" || fail "$args: no \"$expected\" in: $(cat "$WORK/err")"
    [ "$status" -eq 1 ] && [ "$(wc -l <"$WORK/err")" -ne 1 ] && fail "$args: not one line"
done <<EOF2
2|quab-play: --loop 5-3: not FIRST-LAST|--loop 5-3
2|quab-play: --loop 3-30: not FIRST-LAST|--loop 3-30
2|quab-play: --loop 3: not FIRST-LAST|--loop 3
2|quab-play: --loop needs a value|--loop
2|quab-play: --assets and --pictures both|--assets quab.dat --pictures pics
1|quab-play: none: not a directory of pictures|--pictures none
1|quab-play: short/17-scene7-background.png: missing|--pictures short
1|quab-play: misnamed/18-word.png: not a name of asset 18|--pictures misnamed
EOF2

# --- F12 and the steps: paused in Scene 2, which moves every tick, with the overlay on. One
# step back, then on three times, F12 after each: quab-render's frames for those ticks,
# positions and rows. F12 never replaces a picture already there.
start_play --music still.xm --loop 9-9 --scale 2
sleep 1
xdotool key --window "$window" Tab space
sleep 0.3
for key in comma period period period; do
    xdotool key --window "$window" "$key"
    sleep 0.1
    xdotool key --window "$window" F12
    sleep 0.3
done
mapfile -t shots < <(grep -o 'saved quab-[0-9-]*\.png' "$WORK/err" | cut -d' ' -f2)
[ "${#shots[@]}" -eq 4 ] || fail "F12 saved ${#shots[@]} pictures, not 4: $(cat "$WORK/err")"
: >timeline
for shot in "${shots[@]}"; do
    IFS=- read -r _ position row tick <<<"${shot%.png}"
    echo "$tick $position $row" >>timeline
done
ticks=$(awk '{print $1}' timeline | tr '\n' ' ')
first=$(head -n 1 timeline | awk '{print $1}')
[ "$ticks" = "$first $((first + 1)) $((first + 2)) $((first + 3)) " ] ||
    fail "the steps gave ticks $ticks, not four consecutive ones"
# A step back shows the tick before again: the same picture as before, which F12 leaves.
cp "${shots[2]}" kept.png
xdotool key --window "$window" comma F12
sleep 0.3
grep -qF "${shots[2]}: already there; left as it is" "$WORK/err" || fail "F12 over a picture"
cmp -s kept.png "${shots[2]}" || fail "F12 changed ${shots[2]}"
rm "${shots[2]}"
xdotool key --window "$window" F12
sleep 0.3
end_play
"$BUILD/quab-render" quab.dat timeline render >/dev/null || fail "quab-render"
for i in 0 1 2 3; do
    python3 "$TOOLS" png-is-frame "${shots[$i]}" "render/frame_0000$i.raw" ||
        fail "${shots[$i]} is not quab-render's frame"
done

# --- The loop: L in Scene 6 (positions 18 to 20) goes back to 18 after 20, round after round;
# --loop 21-22 stays in 21 and 22.
watch_positions() {
    timeout "$1" xprop -spy -id "$window" _NET_WM_NAME | grep -o 'position [0-9]*' |
        awk '{print $2}' | uniq | tr '\n' ' '
}
start_play --music still.xm --start 20 --scale 1 --mute
xdotool key --window "$window" l
positions=$(watch_positions 8)
end_play
case "$positions" in
*"20 18 19 20 "*) ;;
*) fail "L in Scene 6 gave positions $positions" ;;
esac
start_play --music still.xm --loop 21-22 --scale 1
positions=$(watch_positions 9)
end_play
# The title seen first may already be 22.
case "$positions" in
*"21 22 21 "* | *"22 21 22 "*) ;;
*) fail "--loop 21-22 gave positions $positions" ;;
esac
[ -z "$(echo "$positions" | tr -d '12 ')" ] || fail "--loop 21-22 left its positions: $positions"

# --- Pictures reloaded: Scene 7's background at row 0 fills the window; a new background shows
# at the same position, a half-written PNG keeps the show with one line, the next save is taken.
python3 "$TOOLS" solid-png 320 240 ff0000 red.png
python3 "$TOOLS" solid-png 320 240 00ff00 green.png
head -c 2000 pics/19-scene7-word-2.png >half.png
cp pics/19-scene7-word-2.png word2.png
read -r w h < <(python3 -c "import struct, sys
print(*struct.unpack('>II', open(sys.argv[1], 'rb').read()[16:24]))" pics/18-scene7-word-1.png)
python3 "$TOOLS" solid-png "$w" "$h" 000000 black.png
start_play --pictures pics --music still.xm --loop 21-21 --scale 1 --watch
sleep 0.5
# A save is checked as quab-check checks it (the whole song mixed, so allow seconds): a word all
# black never shows above its key, and only that new warning is told.
save_as black.png pics/18-scene7-word-1.png
wait_lines "quab-play: warning: pics: asset 18 (scene7-word-1" 1 900
[ "$(grep -c "quab-play: warning:" "$WORK/err")" -eq 1 ] || fail "warnings: $(cat "$WORK/err")"
save_as red.png pics/17-scene7-background.png
wait_colour ff0000
case "$(title)" in *"(position 21)"*) ;; *) fail "after the reload: $(title)" ;; esac
save_as half.png pics/19-scene7-word-2.png
wait_lines "pics/19-scene7-word-2.png: " 1
kill -0 "$pid" 2>/dev/null || fail "a half-written picture ended the show"
save_as word2.png pics/19-scene7-word-2.png
save_as green.png pics/17-scene7-background.png
wait_colour 00ff00
end_play

# --- Full screen (1024x768) shows whole pixels by default: 3x, centred on black; I fills the
# screen, and I again goes back.
openbox >/dev/null 2>&1 &
wm=$!
sleep 1
colour_at() {
    xwd -silent -id "$window" >"$WORK/shot.xwd"
    python3 "$TOOLS" window-colour "$WORK/shot.xwd" "$1" "$2"
}
start_play --pictures pics --music still.xm --loop 21-21 --fullscreen
sleep 1
[ "$(colour_at 31 23)/$(colour_at 32 24)/$(colour_at 991 743)/$(colour_at 992 744)" = \
    "000000/00ff00/00ff00/000000" ] || fail "full screen is not 3x centred on black"
xdotool key --window "$window" i
sleep 0.3
[ "$(colour_at 0 0)/$(colour_at 1023 767)" = "00ff00/00ff00" ] || fail "I does not fill the screen"
xdotool key --window "$window" i
sleep 0.3
[ "$(colour_at 31 23)" = "000000" ] || fail "I again does not give whole pixels back"
end_play
kill "$wm"
wait "$wm" 2>/dev/null

# --- The asset file reloaded: a truncated save keeps the show with one line; the next save is
# taken.
cp pics/17-scene7-background.png keep17.png
cp red.png pics/17-scene7-background.png
"$BUILD/quab-assets" build red.dat --from pics >/dev/null || fail "quab-assets build"
cp keep17.png pics/17-scene7-background.png
start_play --assets quab.dat --music still.xm --loop 21-21 --scale 1 --watch
sleep 0.5
head -c 5000 red.dat >cut.dat
save_as cut.dat quab.dat
wait_lines "quab-play: quab.dat: " 1
save_as red.dat quab.dat
wait_colour ff0000
end_play

# --- The module reloaded: the song goes on at the same position; a module libmikmod refuses
# keeps the show with one line; the next good save is taken.
cp still.xm show.xm
head -c 100 music.xm >cut.xm
start_play --music show.xm --start 5 --scale 1 --watch
sleep 0.5
# A module's reload mixes the song silently for the exact seek first: up to 10 s on a busy machine.
save_as music.xm show.xm
wait_lines "reloaded show.xm" 1 100
sleep 2.6
# Position 5 of still.xm lasts 2.4 s; of music.xm 7.7 s.
case "$(title)" in *"(position 5)"*) ;; *) fail "after the module's reload: $(title)" ;; esac
save_as cut.xm show.xm
wait_lines "quab-play: show.xm: cannot load the module" 1 100
kill -0 "$pid" 2>/dev/null || fail "a refused module ended the show"
save_as music.xm show.xm
wait_lines "reloaded show.xm" 2 100
end_play
grep -qE '^Total playtime: 0:[0-9]+$' "$WORK/out" || fail "no playtime line after the reloads"
finish

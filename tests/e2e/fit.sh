#!/bin/bash
# quab-play on songs that do not meet the show's needs: fitted, every scene comes in order in the
# window's title and the show ends with the song; --no-fit keeps the song's own positions. The
# module is named in the title and on standard output. In --watch the song's end does not end
# the session.
# Usage: fit.sh BUILD
. "$(dirname "$0")/lib.sh" "$1"
PLAY="$BUILD/quab-play"

make_assets "$WORK/quab.dat"
# 16 positions of 64 rows of one tick (20 ms): 20.48 s, Scenes 6 to 8 beyond the song's end.
make_module "$WORK/short.xm" --positions 16 --rows 64 --speed 1 --bpm 125
# 12 positions of 48 rows of 0.06 s, the last jumping back to position 4: 34.5 s to the loop.
make_module "$WORK/loop.xm" --positions 12 --rows 64 --speed 3 --bpm 125 --break 48 --jump-back 4
cd "$WORK" || exit 1

# Plays the module silently with the options, noting the scene in the title every 50 ms until
# the show ends; sets $scenes (the scenes seen, in order, each once) and $status.
watch_scenes() {
    "$PLAY" --mute --scale 1 "$@" >"$WORK/out" 2>"$WORK/err" &
    pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^QUAB' | head -n 1)
    [ -n "$window" ] || fail "no window for quab-play $*: $(cat "$WORK/err")"
    scenes=""
    last=""
    while kill -0 "$pid" 2>/dev/null; do
        title=$(xdotool getwindowname "$window" 2>/dev/null)
        scene=$(echo "$title" | sed -n 's/^QUAB: Scene \([1-8]\),.*/\1/p')
        if [ -n "$scene" ] && [ "$scene" != "$last" ]; then
            scenes="$scenes$scene"
            last=$scene
        fi
        [ -n "$title" ] && echo "$title" >"$WORK/title"
        sleep 0.05
    done
    wait "$pid"
    status=$?
}

# name | options | scenes seen | playtime | start line
while IFS='|' read -r name options expected playtime start; do
    [ -n "$name" ] || continue
    # shellcheck disable=SC2086
    watch_scenes $options
    [ "$status" -eq 0 ] || fail "$name: status $status: $(cat "$WORK/err")"
    [ "$scenes" = "$expected" ] || fail "$name: scenes $scenes in the title, not $expected"
    grep -qx "Total playtime: $playtime" "$WORK/out" || fail "$name: $(cat "$WORK/out")"
    grep -qx "$start" "$WORK/out" || fail "$name: no start line \"$start\": $(cat "$WORK/out")"
    grep -q -- " - quab tone test$" "$WORK/title" || fail "$name: title $(cat "$WORK/title")"
done <<'CASES'
fitted|short.xm|12345678|0:20|Playing quab tone test, 0:20, the show fitted to the song
own positions|--no-fit short.xm|12345|0:20|Playing quab tone test, 0:20
loops|loop.xm|12345678|0:34|Playing quab tone test, 0:34, the show fitted to the song
CASES

# --watch: a song that ends leaves the show on its last frame until the maker quits.
make_module "$WORK/tiny.xm" --positions 2 --rows 16 --speed 3 --bpm 125 # 1.92 s
"$PLAY" --mute --scale 1 --watch --music tiny.xm >"$WORK/out" 2>"$WORK/err" &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^QUAB' | head -n 1)
[ -n "$window" ] || fail "no window for --watch: $(cat "$WORK/err")"
sleep 5
if kill -0 "$pid" 2>/dev/null; then
    xdotool key --window "$window" Escape
    wait "$pid" || fail "--watch: status $? after Esc"
    grep -qx "Total playtime: 0:1" "$WORK/out" || fail "--watch: $(cat "$WORK/out")"
else
    fail "--watch ended the session at the song's end: $(cat "$WORK/out")"
fi

finish

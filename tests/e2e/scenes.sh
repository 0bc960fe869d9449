#!/bin/bash
# The whole show in the window: screenshots taken all through it, placed on the song's time line
# by Scene 2's opening white frame, show a picture (not black) in every scene.
. "$(dirname "$0")/lib.sh" "$1"

"$BUILD/quab-assets" build "$WORK/quab.dat" >/dev/null || fail "quab-assets"
# The scenes' song positions, as core/timeline.h has them.
. "$BUILD/timeline.sh" || fail "timeline.sh"
scene2_first=$((SCENE_LAST_POSITION[0] + 1))
# 32 positions of 32 rows at speed 2, 125 BPM: a row lasts 2 * 2.5 / 125 = 0.04 s, a position
# 1.28 s; the show ends at position 30, after 38.4 s.
make_module "$WORK/music.xm" --positions 32 --rows 32 --speed 2 --bpm 125
position_s=1.28

now() { date +%s.%N; }
(cd "$WORK" && timeout 120 "$BUILD/xdemo" >"$WORK/out" 2>"$WORK/err") &
demo=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^pim\.pasu -test$' | head -n 1)
[ -n "$window" ] || { fail "the window did not appear"; kill $demo; finish; }
mkdir "$WORK/shots"
n=0
while kill -0 $demo 2>/dev/null; do
    t=$(now)
    xwd -id "$window" -silent >"$WORK/shots/$n.xwd" 2>/dev/null && echo "$n $t" >>"$WORK/shots/times"
    n=$((n + 1))
    sleep 0.15
done
wait $demo
rc=$?
[ $rc -eq 0 ] || fail "exit status $rc"

# Brightest channel and mean of every shot.
while read -r i t; do
    echo "$i $t $(convert "xwd:$WORK/shots/$i.xwd" -format '%[fx:maxima] %[fx:mean]' info: 2>/dev/null)"
done <"$WORK/shots/times" >"$WORK/shots/levels"

# Scene 2 opens with an all-white frame at the start of its first position: the first shot that
# is nearly white places the song on the clock (to within a shot's interval, 0.15 s plus xwd).
white=$(awk '$4 > 0.9 { print $2; exit }' "$WORK/shots/levels")
[ -n "$white" ] || { fail "no white flash seen at the start of Scene 2"; finish; }
song_start=$(awk -v w="$white" -v p="$position_s" -v f="$scene2_first" \
    'BEGIN { printf "%.3f", w - f * p - 0.1 }')

# Scene (1 to 8) of a song position up to the show's last: the first whose last position it is
# not beyond.
scene_of() {
    k=0
    while [ "$1" -gt "${SCENE_LAST_POSITION[$k]}" ]; do k=$((k + 1)); done
    echo $((k + 1))
}

declare -A seen lit
while read -r i t max mean; do
    # Song time of the shot; shots near a scene change are not counted, since the picture may
    # lead the audible music by the sound server's buffer.
    read -r pos frac < <(awk -v t="$t" -v s="$song_start" -v p="$position_s" \
        'BEGIN { x = (t - s) / p; if (x < 0) x = -1; printf "%d %.3f\n", x, x - int(x) }')
    [ "$pos" -lt 0 ] || [ "$pos" -gt "$LAST_SHOW_POSITION" ] && continue
    awk -v f="$frac" 'BEGIN { exit !(f > 0.3 && f < 0.7) }' || continue
    scene=$(scene_of "$pos")
    [ "$pos" -gt 0 ] && [ "$scene" -ne "$(scene_of $((pos - 1)))" ] && awk -v f="$frac" 'BEGIN { exit !(f < 0.4) }' && continue
    seen[$scene]=$((${seen[$scene]:-0} + 1))
    awk -v m="${max:-0}" 'BEGIN { exit !(m > 0.1) }' && lit[$scene]=$((${lit[$scene]:-0} + 1))
    # Scene 1 fades to black and back by design; every other scene always shows a picture.
    if [ "$scene" -ne 1 ] && ! awk -v m="${max:-0}" 'BEGIN { exit !(m > 0.1) }'; then
        fail "scene $scene (position $pos): screenshot $i is black"
    fi
done <"$WORK/shots/levels"
for ((scene = 1; scene <= ${#SCENE_LAST_POSITION[@]}; scene++)); do
    echo "scene $scene: ${seen[$scene]:-0} screenshots, ${lit[$scene]:-0} not black"
    [ "${lit[$scene]:-0}" -ge 1 ] || fail "scene $scene: no screenshot shows a picture"
done
finish

#!/bin/bash
# A whole show under the private X server and sound server: the exact lines in order, exit status
# 0, and music that reached the sound server (recorded from the null sink's monitor).
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
# 32 positions of 4 rows at speed 3, 125 BPM: a row lasts 3 * 2.5 / 125 = 0.06 s, a position
# 0.24 s. The show ends when the song reaches position 30, after 30 * 0.24 = 7.2 s.
make_module "$WORK/music.xm" --positions 32 --rows 4 --speed 3 --bpm 125

parec --device=quab_sink.monitor --format=s16le --rate=44100 --channels=2 --raw >"$WORK/rec.raw" &
recorder=$!
sleep 0.3
(cd "$WORK" && timeout 60 "$BUILD/xdemo" >"$WORK/out" 2>"$WORK/err")
rc=$?
kill $recorder 2>/dev/null
wait $recorder 2>/dev/null

[ $rc -eq 0 ] || fail "exit status $rc, expected 0 (stderr: $(cat "$WORK/err"))"
expect_file "show output" "$WORK/out" "$(startup_lines 7; echo "Total playtime: 0:7"; echo "*** Shutdown ***")"

# The recording holds the show's music: RMS well above the null sink's digital silence.
rms=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$WORK/rec.raw" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
echo "recorded RMS amplitude: $rms"
awk -v r="${rms:-0}" 'BEGIN { exit !(r > 0.01) }' || fail "recorded audio is silent (RMS ${rms:-none})"

finish

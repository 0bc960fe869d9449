#!/bin/bash
# Songs shorter than the show's timeline of 30 positions: when the music stops, the show ends as
# it does after position 29, with the playtime line and status 0 (it looped the last scene in
# silence until a key). quab-check and quab-export, on the song's own positions as xdemo plays it
# (--no-fit), say the same of each song: the show (the video) ends with it, at the time xdemo's
# playtime line gives. The module with no song positions
# ends the show at once, and does so cleanly under memcheck.
. "$(dirname "$0")/lib.sh" "$1"

make_assets "$WORK/quab.dat"
# A 4-channel Protracker module of N positions, all playing one empty pattern of 64 rows whose
# first row sets speed 3: 64 * 3 * 2.5 / 125 = 3.84 s a position.
make_mod() {
    python3 - "$1" "$2" <<'PY'
import struct, sys
out, positions = sys.argv[1], int(sys.argv[2])
d = bytearray(b"short".ljust(20, b"\0"))
for _ in range(31):
    d += bytes(22) + struct.pack(">HBBHH", 0, 0, 64, 0, 1)
d += bytes([positions, 127]) + bytes(128) + b"M.K."
pattern = bytearray(64 * 4 * 4)
pattern[0:4] = bytes([0, 0, 0x0F, 3])
open(out, "wb").write(d + pattern)
PY
}
# An extended module whose header says no song positions: the song length is the 16-bit word
# at byte 64 of the header.
make_no_positions() {
    python3 - "$1" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
assert data[:17] == b"Extended Module: "
struct.pack_into("<H", data, 64, 0)
open(sys.argv[1], "wb").write(data)
PY
}

# Case, module, expected playtime line. Extended modules of 4 rows at speed 3, 125 BPM play
# 0.24 s a position: 1 position 0.24 s, 5 positions 1.2 s, 29 positions 6.96 s.
cases=(
    "xm_1 --positions 1 --rows 4 --speed 3 --bpm 125|0:0"
    "xm_5 --positions 5 --rows 4 --speed 3 --bpm 125|0:1"
    "xm_29 --positions 29 --rows 4 --speed 3 --bpm 125|0:6"
    "mod_1 mod 1|0:3"
    "xm_0 none|0:0"
)
for entry in "${cases[@]}"; do
    spec=${entry%|*}
    playtime=${entry#*|}
    name=${spec%% *}
    how=${spec#* }
    dir="$WORK/$name"
    mkdir "$dir"
    cp "$WORK/quab.dat" "$dir"
    case "$how" in
    mod\ *) make_mod "$dir/music.xm" "${how#mod }" ;;
    none)
        make_module "$dir/music.xm" --positions 32 --rows 4 --speed 3 --bpm 125
        make_no_positions "$dir/music.xm"
        ;;
    *) make_module "$dir/music.xm" $how ;;
    esac
    # Each song is over within 7 s; a show that waits for a key runs into the timeout.
    (cd "$dir" && timeout 30 "$BUILD/xdemo" >"$WORK/$name.out" 2>"$WORK/$name.err")
    rc=$?
    [ $rc -eq 0 ] || fail "$name: exit status $rc, expected 0 (stderr: $(head -c 300 "$WORK/$name.err"))"
    expect_file "$name: standard output" "$WORK/$name.out" \
        "$(startup_lines 7; echo "Total playtime: $playtime"; echo "*** Shutdown ***")"
    [ "$how" = none ] && continue

    # quab-check's plan ends the show where the song stops, at xdemo's playtime (whole seconds).
    "$BUILD/quab-check" --assets "$dir/quab.dat" --music "$dir/music.xm" --no-fit \
        >"$WORK/$name.check" 2>&1
    end=$(sed -n 's/^The show ends at \([0-9.]*\) s .*, when the song stops after song position .*/\1/p' \
        "$WORK/$name.check")
    [ -n "$end" ] || fail "$name: quab-check does not end the show with the song: $(grep -i end "$WORK/$name.check")"
    [ "$(awk -v s="$end" 'BEGIN { s = int(s); printf "%d:%d", s / 60, s % 60 }')" = "$playtime" ] ||
        fail "$name: quab-check ends the show at $end s, xdemo played $playtime"
    # quab-export's video ends with the song as well, on the first frame past the plan's end.
    "$BUILD/quab-export" --assets "$dir/quab.dat" --music "$dir/music.xm" --scale 1 --no-fit \
        "$WORK/$name.mp4" >"$WORK/$name.export" 2>&1 || fail "$name: quab-export: $(cat "$WORK/$name.export")"
    grep -q "the video ends with it" "$WORK/$name.export" ||
        fail "$name: quab-export does not say the video ends with the song"
    frames=$(sed -n 's/^.*: \([0-9]*\) frames at 50 fps.*/\1/p' "$WORK/$name.export")
    awk -v f="$frames" -v s="$end" 'BEGIN { exit !(f / 50 >= s - 0.006 && (f - 1) / 50 < s + 0.006) }' ||
        fail "$name: quab-export made $frames frames at 50 fps, quab-check ends the show at $end s"
done

if command -v valgrind >/dev/null; then
    vg_xdemo xm_0_memcheck "$WORK/xm_0"
    [ $rc -eq 0 ] || fail "no positions under memcheck: exit status $rc, expected 0"
    expect_file "no positions under memcheck: standard output" "$WORK/xm_0_memcheck.out" \
        "$(startup_lines 7; echo "Total playtime: 0:0"; echo "*** Shutdown ***")"
    check_released xm_0_memcheck show_alloc load_asset_file XOpenDisplay =x11_open Player_Load
fi

finish

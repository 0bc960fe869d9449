#!/bin/bash
# Every start-up failure of the real xdemo prints its message and exits 1 before later steps run.
. "$(dirname "$0")/lib.sh" "$1"

run_case() { # name, folder; leaves $rc, $WORK/out, $WORK/err
    (cd "$2" && "$BUILD/xdemo" >"$WORK/out" 2>"$WORK/err")
    rc=$?
    [ $rc -eq 1 ] || fail "$1: exit status $rc, expected 1"
}

# Missing quab.dat: refused before any display opens.
mkdir "$WORK/missing"
run_case "missing quab.dat" "$WORK/missing"
expect_file "missing quab.dat" "$WORK/out" "$(startup_lines 4; echo "Can't open file quab.dat")"

# Short asset file: 29 records only.
mkdir "$WORK/short"
make_assets "$WORK/short/full.dat"
# Cut the file after record 28: walk the lengths.
python3 - "$WORK/short/full.dat" "$WORK/short/quab.dat" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()
pos = 0
for _ in range(29):
    (n,) = struct.unpack_from('<I', data, pos)
    pos += 4 + n
open(sys.argv[2], 'wb').write(data[:pos])
PY
run_case "short assets" "$WORK/short"
expect_file "short assets" "$WORK/out" \
    "$(startup_lines 4; echo "quab.dat holds 29 assets; the show needs 30 (asset 29, Scene 8 scroller, is missing)")"

# No X server: refused before any sound starts.
mkdir "$WORK/nox"
make_assets "$WORK/nox/quab.dat"
make_module "$WORK/nox/music.xm"
(cd "$WORK/nox" && DISPLAY=:5999 "$BUILD/xdemo" >"$WORK/out" 2>"$WORK/err")
rc=$?
[ $rc -eq 1 ] || fail "no display: exit status $rc"
expect_file "no display" "$WORK/out" \
    "$(startup_lines 5; echo "Error: Unable to find display. Is the xserver up and running properly?")"

# Missing and garbage modules: libmikmod's text on standard error.
mkdir "$WORK/nomusic"
make_assets "$WORK/nomusic/quab.dat"
run_case "missing music.xm" "$WORK/nomusic"
expect_file "missing music.xm" "$WORK/out" "$(startup_lines 6)"
grep -q '^Unable to load module becouse: .\+' "$WORK/err" || fail "missing music.xm: stderr: $(cat "$WORK/err")"

head -c 5000 /dev/urandom >"$WORK/nomusic/music.xm"
run_case "garbage music.xm" "$WORK/nomusic"
expect_file "garbage music.xm" "$WORK/out" "$(startup_lines 6)"
grep -q '^Unable to load module becouse: .\+' "$WORK/err" || fail "garbage music.xm: stderr: $(cat "$WORK/err")"

finish

#!/bin/bash
# Modules libmikmod cannot play, each named music.xm: xdemo prints libmikmod's text on standard
# error and exits 1, having freed the asset table and closed the display; under memcheck, with
# nothing of the project's left in use and no error.
# Usage: bad_modules.sh BUILD [CASE...] (cases: random empty truncated_header truncated_half;
# default all). A module with no song positions is no bad module: short_modules.sh plays it.
. "$(dirname "$0")/lib.sh" "$1"
shift
cases=("$@")
[ ${#cases[@]} -eq 0 ] && cases=(random empty truncated_header truncated_half)

make_module "$WORK/real.xm"
# Cuts of a real module.
python3 - "$WORK" <<'PY'
import random, sys
work = sys.argv[1]
real = open(work + "/real.xm", "rb").read()
assert real[:17] == b"Extended Module: "
rnd = random.Random(9)
cases = {
    "random": bytes(rnd.randrange(256) for _ in range(4096)),
    "empty": b"",
    "truncated_header": real[:80],
    "truncated_half": real[:len(real) // 2],
}
for name, data in cases.items():
    open(f"{work}/{name}.xm", "wb").write(data)
PY

for case in "${cases[@]}"; do
    mkdir "$WORK/$case"
    make_assets "$WORK/$case/quab.dat"
    cp "$WORK/$case.xm" "$WORK/$case/music.xm"
    VG_TIMEOUT=60 vg_xdemo "$case" "$WORK/$case"
    [ $rc -eq 1 ] || fail "$case: exit status $rc, expected 1"
    expect_file "$case: standard output" "$WORK/$case.out" "$(startup_lines 6)"
    grep -qx 'Unable to load module becouse: .\+' "$WORK/$case.err" ||
        fail "$case: standard error: $(head -c 300 "$WORK/$case.err")"
    check_released "$case" load_asset_file XOpenDisplay =x11_open
    # Nothing written beside the two input files (a disk-writer driver would leave music.raw).
    [ "$(ls "$WORK/$case" | tr '\n' ' ')" = "music.xm quab.dat " ] ||
        fail "$case: files left in the working folder: $(ls "$WORK/$case")"
done

finish

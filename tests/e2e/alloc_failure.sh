#!/bin/bash
# A failed buffer allocation prints its line once and exits 1 before any later step runs.
. "$(dirname "$0")/lib.sh" "$1"
shim="$2"

make_assets "$WORK/quab.dat"
make_module "$WORK/music.xm"
# The first 360-int buffer (scroll_x) and the first frame-sized one (work, 76,800 Pixels).
for which in "360,4" "76800,4"; do
    (cd "$WORK" && QUAB_TEST_FAIL_CALLOC=$which LD_PRELOAD="$shim" "$BUILD/xdemo" >"$WORK/out" 2>"$WORK/err")
    rc=$?
    [ $rc -eq 1 ] || fail "calloc($which) failing: exit status $rc, expected 1"
    expect_file "calloc($which) failing" "$WORK/out" "$(startup_lines 2; echo "Unable to allocate RAM memory")"
done
finish

#!/bin/bash
# Every start-up failure of xdemo under memcheck: its message, exit status 1, no error and no
# definitely lost block, and what the failing step and the driver must release released (the
# asset table once loaded, the display once open, the module once loaded).
# Usage: valgrind_startup.sh BUILD FAIL_CALL_SHIM
. "$(dirname "$0")/lib.sh" "$1"
shim="$2"

make_assets "$WORK/full.dat"
make_module "$WORK/real.xm"
# A folder per case, each with the show's two files unless the case replaces or removes one.
python3 - "$WORK" <<'PY'
import os, shutil, struct, sys
work = sys.argv[1]
full = open(work + "/full.dat", "rb").read()
records, at = [], 0
while at < len(full):
    (n,) = struct.unpack_from("<I", full, at)
    records.append(full[at + 4:at + 4 + n])
    at += 4 + n
assert len(records) >= 30

def pack(recs):
    return b"".join(struct.pack("<I", len(r)) + r for r in recs)

small = pack([b"\x01\x02\x03\x04"])
assets = {
    "missing_assets": None,
    "stray_bytes": small + b"\x05\x06",
    "length_past_end": small + struct.pack("<I", 4096) + b"\x00" * 10,
    "length_2_31": small + struct.pack("<I", 0x80000000) + b"\x00" * 8,
    "short_table": pack(records[:29]),
    "undersized_record": pack(records[:5] + [records[5][:100]] + records[6:]),
}
for case in ["no_display", "mikmod_init", "missing_module", "signal_fails", "setitimer_fails"]:
    assets[case] = full
for case, data in assets.items():
    os.mkdir(f"{work}/{case}")
    if data is not None:
        open(f"{work}/{case}/quab.dat", "wb").write(data)
    if case != "missing_module":
        shutil.copy(work + "/real.xm", f"{work}/{case}/music.xm")
PY

# Runs one case; $2 is the last line expected on standard output, the rest environment.
run_case() {
    name=$1
    last=$2
    shift 2
    vg_xdemo "$name" "$WORK/$name" "$@"
    [ $rc -eq 1 ] || fail "$name: exit status $rc, expected 1"
    [ "$(tail -n 1 "$WORK/$name.out")" = "$last" ] ||
        fail "$name: last line '$(tail -n 1 "$WORK/$name.out")', expected '$last'"
}

run_case missing_assets "Can't open file quab.dat"
run_case stray_bytes "Unable to read from quab.dat"
run_case length_past_end "Unable to read from quab.dat"
check_released length_past_end load_asset_file
run_case length_2_31 \
    "Asset record 1 of quab.dat claims 2147483648 bytes; records are limited to 2147483647 bytes"
run_case short_table \
    "quab.dat holds 29 assets; the show needs 30 (asset 29, Scene 8 scroller, is missing)"
check_released short_table load_asset_file
run_case undersized_record \
    "quab.dat: asset 5 (Scene 2 overlay at song position 7) is 100 bytes; it needs 307200 bytes (320x240 Pixels)"
check_released undersized_record load_asset_file

run_case no_display "Error: Unable to find display. Is the xserver up and running properly?" \
    DISPLAY=:5999
check_released no_display load_asset_file XOpenDisplay

# With no sound server reachable, libmikmod finds no output that opens. Where a sound device
# answers anyway the show would start: the case is then skipped.
no_server=$(mktemp -d "$WORK/no-sound-server.XXXXXX")
VG_TIMEOUT=60 vg_xdemo mikmod_init "$WORK/mikmod_init" XDG_RUNTIME_DIR="$no_server"
if grep -q '^Total playtime' "$WORK/mikmod_init.out"; then
    echo "mikmod_init: skipped, libmikmod found a sound output without the sound server"
else
    [ $rc -eq 1 ] || fail "mikmod_init: exit status $rc, expected 1"
    expect_file "mikmod_init: standard output" "$WORK/mikmod_init.out" "$(startup_lines 6)"
    grep -qx 'Mikmod: Unable to initialize mikmod: .\+' "$WORK/mikmod_init.err" ||
        fail "mikmod_init: standard error: $(head -c 300 "$WORK/mikmod_init.err")"
    check_released mikmod_init load_asset_file XOpenDisplay =x11_open
fi

run_case missing_module "Initiating Mikmod startup sequence..."
grep -qx 'Unable to load module becouse: .\+' "$WORK/missing_module.err" ||
    fail "missing_module: standard error: $(head -c 300 "$WORK/missing_module.err")"
check_released missing_module load_asset_file XOpenDisplay =x11_open

run_case signal_fails "Unable to setup signalhandler for SIGALRM" \
    LD_PRELOAD="$shim" QUAB_TEST_FAIL_CALL=signal
check_released signal_fails load_asset_file XOpenDisplay =x11_open Player_Load

run_case setitimer_fails "Unable to setup itimer" LD_PRELOAD="$shim" QUAB_TEST_FAIL_CALL=setitimer
grep -q '^setitimer: .\+' "$WORK/setitimer_fails.err" ||
    fail "setitimer_fails: standard error: $(head -c 300 "$WORK/setitimer_fails.err")"
check_released setitimer_fails load_asset_file XOpenDisplay =x11_open Player_Load

# No case wrote anything beside its input files.
for case in missing_assets stray_bytes length_past_end length_2_31 short_table \
    undersized_record no_display mikmod_init missing_module signal_fails setitimer_fails; do
    left=$(ls "$WORK/$case" | grep -vx 'quab.dat\|music.xm')
    [ -z "$left" ] || fail "$case: files left in the working folder: $left"
done

finish

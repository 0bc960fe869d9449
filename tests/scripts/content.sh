# The ./quab content rule (scripts/content.sh) with a fake build folder whose quab-assets and
# quab-music write a known text and log their calls: files already in the content folder are
# left byte for byte, missing ones are made and named, a failing tool leaves nothing behind.
set -u
REPO=$(cd "$(dirname "$0")/../.." && pwd)
WORK=$(mktemp -d /tmp/quab-content-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

. "$REPO/scripts/content.sh"

# The fake tools: quab-assets build OUT and quab-music OUT, each writing its name into OUT, or
# failing after a partial write when FAIL names it.
FAKE="$WORK/build"
mkdir -p "$FAKE"
for tool in quab-assets quab-music; do
    cat >"$FAKE/$tool" <<TOOL
#!/bin/sh
echo "$tool \$*" >>"$WORK/calls"
for out; do :; done
echo "$tool output" >"\$out"
echo "chatter on standard output"
[ "\${FAIL:-}" = "$tool" ] && exit 1
exit 0
TOOL
    chmod +x "$FAKE/$tool"
done

# run NAME: calls the rule on $WORK/NAME, output in $WORK/NAME.out and .err, status in $status.
run() {
    rm -f "$WORK/calls"
    make_missing_content "$FAKE" "$WORK/$1" >"$WORK/$1.out" 2>"$WORK/$1.err"
    status=$?
}

expect_text() { # FILE EXPECTED
    [ "$(cat "$1" 2>/dev/null)" = "$2" ] || fail "$1 holds '$(cat "$1" 2>/dev/null)', not '$2'"
}

expect_names() { # DIR NAMES... (all names, hidden ones too)
    dir=$1
    shift
    got=$(ls -A "$dir" | tr '\n' ' ')
    want=""
    for name; do want="$want$name "; done
    [ "$got" = "$want" ] || fail "$dir holds '$got', not '$*'"
}

# A fresh clone: no content folder. Both files made, both named, the tools' chatter hidden.
run fresh
[ "$status" -eq 0 ] || fail "fresh: status $status"
expect_text "$WORK/fresh.out" "Made $WORK/fresh/quab.dat (the show's own pictures)
Made $WORK/fresh/music.xm (the show's own soundtrack)"
expect_text "$WORK/fresh/quab.dat" "quab-assets output"
expect_text "$WORK/fresh/music.xm" "quab-music output"
expect_names "$WORK/fresh" music.xm quab.dat

# The user's own asset file (bytes no tool makes, no newline at the end): kept byte for byte,
# with its time stamp; only the module is made.
mkdir -p "$WORK/own"
head -c 5000 /dev/urandom >"$WORK/own/quab.dat"
touch -d '2001-02-03 04:05:06' "$WORK/own/quab.dat"
cp -p "$WORK/own/quab.dat" "$WORK/own-copy.dat"
run own
[ "$status" -eq 0 ] || fail "own: status $status"
cmp -s "$WORK/own/quab.dat" "$WORK/own-copy.dat" || fail "own: the user's quab.dat changed"
[ "$WORK/own/quab.dat" -nt "$WORK/own-copy.dat" ] && fail "own: the user's quab.dat was touched"
expect_text "$WORK/own.out" "Made $WORK/own/music.xm (the show's own soundtrack)"
expect_text "$WORK/calls" "quab-music $WORK/own/.making-$$-music.xm"
expect_names "$WORK/own" music.xm quab.dat

# Both there, one of them an empty file and the other a link to the user's song elsewhere, even
# a link to nothing: no tool runs, nothing is said.
mkdir -p "$WORK/both"
: >"$WORK/both/quab.dat"
ln -s "$WORK/nowhere/song.xm" "$WORK/both/music.xm"
run both
[ "$status" -eq 0 ] || fail "both: status $status"
expect_text "$WORK/both.out" ""
[ -e "$WORK/calls" ] && fail "both: a tool ran: $(cat "$WORK/calls")"
[ -s "$WORK/both/quab.dat" ] && fail "both: the empty quab.dat was filled"
[ "$(readlink "$WORK/both/music.xm")" = "$WORK/nowhere/song.xm" ] || fail "both: the link changed"
[ -e "$WORK/nowhere" ] && fail "both: the link was followed"

# A tool that fails after writing part of its file: no file in place, no hidden file left, the
# failure said on standard error, and the module not attempted.
FAIL=quab-assets
export FAIL
run failing
unset FAIL
[ "$status" -ne 0 ] || fail "failing: status 0"
expect_names "$WORK/failing"
expect_text "$WORK/failing.err" "Could not make $WORK/failing/quab.dat"
expect_text "$WORK/calls" "quab-assets build $WORK/failing/.making-$$-quab.dat"
# Run again once the tool works: the file is made this time.
run failing
expect_names "$WORK/failing" music.xm quab.dat

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"

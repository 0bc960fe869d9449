#!/bin/bash
# The README's commands that can run here, as it writes them: the by-hand content and checks in a
# folder of their own beside the build, ./quab --help, and the build's programs finding the show
# their build made from another folder, with quab-check's refusals on standard error only.
# usage: readme_commands.sh BUILD SOURCE
. "$(dirname "$0")/../e2e/lib.sh" "$1"
SOURCE=$(cd "$2" && pwd)

# The README's lines that start with a build's tool making or checking content.
grep -E '^    build/quab-(assets|music|check) ' "$SOURCE/README.md" | sed 's/ *#.*//' >"$WORK/commands"
[ "$(wc -l <"$WORK/commands")" -ge 5 ] || fail "the README's commands: $(cat "$WORK/commands")"
mkdir "$WORK/tree" "$WORK/tree/content"
ln -s "$BUILD" "$WORK/tree/build"
while read -r line; do
    (cd "$WORK/tree" && eval "$line") >"$WORK/cmd.out" 2>&1
    rc=$?
    # quab-check's 1 is its warnings about a show that still plays.
    case "$line" in build/quab-check*) [ $rc -le 1 ] ;; *) [ $rc -eq 0 ] ;; esac ||
        fail "'$line': status $rc: $(tail -3 "$WORK/cmd.out")"
done <"$WORK/commands"

"$SOURCE/quab" --help >"$WORK/help.out" 2>"$WORK/help.err" || fail "./quab --help: status $?"
grep -q '^Usage: ./quab run' "$WORK/help.out" && [ ! -s "$WORK/help.err" ] ||
    fail "./quab --help: $(cat "$WORK/help.out" "$WORK/help.err")"
"$SOURCE/quab" --bogus >/dev/null 2>&1
[ $? -eq 2 ] || fail "./quab with a bad command: not status 2"

# From a folder with no show, the build's programs take the show the build made beside them.
(cd "$WORK/tree" && build/quab-check) >"$WORK/plan.txt" 2>"$WORK/check.err"
[ $? -le 1 ] || fail "build/quab-check from another folder: $(cat "$WORK/check.err")"
grep -qF "Plan of the show ($BUILD/quab.dat, $BUILD/music.xm):" "$WORK/plan.txt" ||
    fail "build/quab-check did not take the build's show: $(head -2 "$WORK/plan.txt")"

# A refusal goes to standard error, so that a plan sent to a file does not hide it.
printf 'not an asset file' >"$WORK/tree/bad.dat"
(cd "$WORK/tree" && build/quab-check --assets bad.dat) >"$WORK/plan.txt" 2>"$WORK/check.err"
rc=$?
[ $rc -eq 2 ] || fail "quab-check on a bad asset file: status $rc"
grep -q '^quab-check: cannot play: bad.dat: ' "$WORK/check.err" ||
    fail "the refusal on standard error: $(cat "$WORK/check.err")"
grep -qi 'cannot play' "$WORK/plan.txt" && fail "the refusal in the plan: $(cat "$WORK/plan.txt")"
finish

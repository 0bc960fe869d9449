#!/usr/bin/env bash
# The whole show under AddressSanitizer and UndefinedBehaviorSanitizer: builds quab-render with
# both, generates an asset file and a timeline over every song position of the show and the one
# after (uneven tick gaps, a stall of hundreds of ticks, one step back), runs it, and fails on
# any sanitizer report. The song positions come from the build's timeline.sh (core/timeline.h).
#
# usage: scripts/sanitized-show.sh [BUILD_DIR]      (default: build-sanitize in the tree)
# QUAB_JOBS sets the build's parallelism (default 2). QUAB_KEEP=1 keeps the frames and logs.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$repo/build-sanitize}
jobs=${QUAB_JOBS:-2}

cmake -S "$repo" -B "$build" -DQUAB_SANITIZE=ON -DQUAB_ONLY_RENDER=ON >/dev/null
cmake --build "$build" -j "$jobs" --target quab-render quab-testassets timeline_table
. "$build/timeline.sh"

work=$(mktemp -d /tmp/quab-sanitized-show-XXXXXX)
if [[ ${QUAB_KEEP:-0} == 1 ]]; then
    echo "keeping $work"
else
    trap 'rm -rf "$work"' EXIT
fi

# Any report ends the process with a non-zero status; the logs are searched as well, in case a
# report is printed without ending it.
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# Song positions 0 to one past the show's last, several passes each with uneven tick gaps (0
# included: a pass within the same tick), the rows walking through each pattern and in Scene 7's
# position past every row threshold; a stall of 400 ticks in Scene 5's second position; Scene 4's
# first position followed once by Scene 3's last. The show ends at the first pass past its last.
awk -v last="$LAST_SHOW_POSITION" -v words="$SCENE7_POSITION" \
    -v last_row="${SCENE7_ROW_AFTER[-1]}" -v scene3_last="${SCENE_LAST_POSITION[2]}" \
    -v scene5_first="$((SCENE_LAST_POSITION[3] + 1))" 'BEGIN {
    n = split("1 0 3 1 7 2 0 13 1 5 2 29", gaps, " ")
    g = 0; tick = 0
    print "# tick_count sngpos patpos"
    for (pos = 0; pos <= last + 1; pos++) {
        # Rows 0, 3, 6, ... up to two steps past the last threshold.
        passes = pos == words ? int(last_row / 3) + 3 : 8
        for (i = 0; i < passes; i++) {
            row = pos == words ? i * 3 : int(i * 64 / passes)
            printf "%d %d %d\n", tick, pos, row
            g = g % n + 1
            tick += gaps[g]
            if (pos == scene5_first + 1 && i == 3) {
                print "# a stall: 400 ticks pass before the next frame"
                tick += 400
            }
        }
        if (pos == scene3_last + 1) {
            print "# the song position steps back once"
            printf "%d %d 40\n", tick, scene3_last
            tick += 2
        }
    }
}' >"$work/timeline.txt"

"$build/quab-testassets" "$work/assets.dat"

status=0
"$build/quab-render" --dump-tables "$work/tables" >"$work/tables.out" 2>"$work/tables.err" ||
    status=$?
if [[ $status != 0 || -s $work/tables.err ]]; then
    cat "$work/tables.err" >&2
    echo "sanitized-show: quab-render --dump-tables failed (status $status)" >&2
    exit 1
fi

start=$SECONDS
"$build/quab-render" "$work/assets.dat" "$work/timeline.txt" "$work/frames" \
    >"$work/render.out" 2>"$work/render.err" || status=$?
if [[ $status != 0 ]] || grep -qE 'Sanitizer|runtime error' "$work/render.err"; then
    cat "$work/render.err" >&2
    tail -n 3 "$work/render.out" >&2
    echo "sanitized-show: the show failed under the sanitizers (status $status)" >&2
    exit 1
fi

passes=$(grep -c '^pass ' "$work/render.out")
last=$(grep '^pass ' "$work/render.out" | tail -n 1)
frames=$(find "$work/frames" -name 'frame_*.raw' -size 307200c | wc -l)
if [[ $last != *" scene_index ${#SCENE_LAST_POSITION[@]}" || $frames != "$passes" ]]; then
    echo "sanitized-show: expected the show to end with every frame written;" \
        "last line '$last', $frames frames of $passes passes" >&2
    exit 1
fi
for ((k = 0; k < ${#SCENE_LAST_POSITION[@]}; k++)); do
    if ! grep -q " scene_index $k\$" "$work/render.out"; then
        # A scene entered and left within one pass never shows in a pass line; with this
        # timeline every scene is shown for several passes.
        echo "sanitized-show: no pass ended in scene_index $k" >&2
        exit 1
    fi
done
echo "sanitized-show: $passes passes through the whole show in $((SECONDS - start)) s, no reports"

#!/bin/bash
# Builds the fuzz targets (tests/fuzz) with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz, and runs each for a bounded time. Exits non-zero on
# any crash, leak or sanitizer report, leaving the input that caused it in build-fuzz/artifacts.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 60 s; targets: assets
#   timeline png_import). FUZZ_JOBS=N runs N workers per target (default 1).
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$ROOT/build-fuzz"
seconds=${1:-60}
shift 2>/dev/null
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(assets timeline png_import)
jobs=${FUZZ_JOBS:-1}

mkdir -p "$BUILD"
cmake -S "$ROOT/tests/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$BUILD/configure.log" 2>&1 ||
    { cat "$BUILD/configure.log"; exit 1; }
cmake --build "$BUILD" -j2 >"$BUILD/build.log" 2>&1 || { cat "$BUILD/build.log"; exit 1; }

failed=0
for name in "${targets[@]}"; do
    program="$BUILD/fuzz_$name"
    seeds="$ROOT/tests/fuzz/corpus/$name"
    # New inputs go to the build folder's corpus; the seeds in the tree are only read.
    corpus="$BUILD/corpus/$name"
    artifacts="$BUILD/artifacts/$name"
    log="$BUILD/fuzz_$name.log"
    mkdir -p "$corpus" "$artifacts"
    dict=()
    [ -f "$ROOT/tests/fuzz/$name.dict" ] && dict=(-dict="$ROOT/tests/fuzz/$name.dict")
    # stdout is closed (-close_fd_mask=1): the loader prints its start-up line for every input.
    args=(-max_total_time="$seconds" -close_fd_mask=1 -timeout=20 -print_final_stats=1
          -artifact_prefix="$artifacts/" "${dict[@]}")
    if [ "$jobs" -gt 1 ]; then
        args+=(-jobs="$jobs" -workers="$jobs")
    fi
    rm -f "$BUILD"/fuzz-*.log
    echo "fuzz_$name: ${seconds}s"
    (cd "$BUILD" && "$program" "${args[@]}" "$corpus" "$seeds" >"$log" 2>&1)
    rc=$?
    execs=$(grep -h 'stat::number_of_executed_units' "$log" "$BUILD"/fuzz-*.log 2>/dev/null |
        awk '{ n += $2 } END { print n + 0 }')
    if [ $rc -ne 0 ]; then
        echo "fuzz_$name: FAILED (exit $rc) after $execs executions; see $log and $artifacts" >&2
        grep -E 'ERROR|SUMMARY|runtime error|deadly signal|leak' "$log" | head -n 20 >&2
        failed=$((failed + 1))
    else
        echo "fuzz_$name: $execs executions, corpus $(ls "$corpus" | wc -l) inputs, no finding"
    fi
done
[ $failed -eq 0 ]

# Shared by the end-to-end tests: the private servers' environment, a scratch folder per test and
# the content generators. Sourced with the build folder as $1.
set -u
BUILD=$(cd "$1" && pwd)
export DISPLAY=":${QUAB_TEST_DISPLAY:-87}"
export XDG_RUNTIME_DIR="${QUAB_TEST_RUNDIR:-$BUILD/e2e-services}"
unset PULSE_SERVER
WORK=$(mktemp -d /tmp/quab-e2e-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
failures=0
# The one version, as the build reads it from cmake/version.cmake.
QUAB_VERSION=$(sed -n 's/^set(QUAB_VERSION \(.*\))$/\1/p' \
    "$(dirname "${BASH_SOURCE[0]}")/../../cmake/version.cmake")

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
    exit 0
}

# The banner and start-up lines up to and including the given number of lines.
startup_lines() {
    printf '%s\n' "*** QUAB Linux Demoengine v$QUAB_VERSION ***" \
        "Initiating memory allocation sequence..." \
        "Initiating Precalc sequence..." \
        "Initiating decrunch sequence..." \
        "Initiating xlib startup sequence..." \
        "Initiating Mikmod startup sequence..." \
        "Initiating joined sound and timer startup sequence..." | head -n "$1"
}

make_assets() { "$BUILD/quab-testassets" "$1" >/dev/null || fail "quab-testassets $1"; }
make_module() { out=$1; shift; "$BUILD/quab-testmod" "$out" "$@" || fail "quab-testmod $*"; }

# Compares a file with expected text, showing both on a mismatch.
expect_file() {
    name=$1
    file=$2
    expected=$3
    if [ "$(cat "$file")" != "$expected" ]; then
        fail "$name"
        echo "--- expected" >&2
        echo "$expected" >&2
        echo "--- got" >&2
        cat "$file" >&2
    fi
}

#!/bin/bash
# A build as a new user makes it, then installed and used from elsewhere, in two stages.
#   fresh_install.sh build BUILD SOURCE: configure and build with GoogleTest and Google Benchmark
#     hidden (only the programs, the default show, man pages and icons are built), run what was
#     built, install into a temporary DESTDIR under a prefix, move the installed tree, make the
#     Debian package and run lintian on it, and rename the build folder away.
#   fresh_install.sh check BUILD SOURCE: from an empty folder, with the build folder gone, run
#     what was installed: quab-play finds the default show and plays a given module (its first
#     frame is quab-render's), quab-check passes the show, quab-export makes a short video, man
#     renders every page and the pages, the desktop entry and the AppStream metadata pass their
#     validators; then the package unpacked elsewhere plays the show from any folder.
# The build stage needs no display; the check stage runs on the tests' private servers.
STAGE=$1
shift
. "$(dirname "$0")/../e2e/lib.sh" "$1"
SOURCE=$(cd "$2" && pwd)
TOOLS="$SOURCE/tests/e2e/play_tools.py"
# Under /work with the tree, where the shared compiler cache finds this tree's objects.
FRESH="$BUILD/fresh-install"
PREFIX="$FRESH/moved"
PROGRAMS="xdemo vgademo quab-play quab-export quab-check quab-render quab-assets quab-music
quab-console-reset"

if [ "$STAGE" = build ]; then
rm -rf "$FRESH" "$FRESH-gone"
mkdir -p "$FRESH"
launcher=()
command -v ccache >/dev/null &&
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

cmake -S "$SOURCE" -B "$FRESH/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=TRUE -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=TRUE \
    >"$WORK/configure.log" 2>&1 || {
    cat "$WORK/configure.log" >&2
    fail "configure with the test packages hidden"
    finish
}
grep -q "Tests and benchmarks left out" "$WORK/configure.log" || fail "no line on the tests left out"
cmake --build "$FRESH/build" -j2 >"$WORK/build.log" 2>&1 || {
    tail -40 "$WORK/build.log" >&2
    fail "build with the test packages hidden"
    finish
}
[ -e "$FRESH/build/quab-bench" ] && fail "quab-bench built without Google Benchmark"
ls "$FRESH/build/tests" >/dev/null 2>&1 && fail "tests configured without GoogleTest"

# What it built runs: each program's usage.
for p in quab-play quab-export quab-check quab-render quab-assets quab-music quab-console-reset; do
    "$FRESH/build/$p" --help 2>&1 | grep -q "^Usage: $p" || fail "$p --help from the build"
done
"$FRESH/build/quab-check" --assets "$FRESH/build/quab.dat" --music "$FRESH/build/music.xm" \
    >/dev/null || fail "quab-check on the build's default show"

# The Debian package, made from this build; lintian may warn but finds no error.
(cd "$FRESH/build" && cpack -G DEB) >"$WORK/cpack.log" 2>&1 ||
    fail "cpack -G DEB: $(tail -5 "$WORK/cpack.log")"
mv "$FRESH"/build/quab_*.deb "$FRESH/" || fail "no package"
lintian --tag-display-limit 0 "$FRESH"/quab_*.deb >"$WORK/lintian.log" 2>&1
grep -q '^E:' "$WORK/lintian.log" && fail "lintian: $(grep '^E:' "$WORK/lintian.log")"
# The programs are hardened as Debian's own: relocations read-only and resolved at start, checked
# string and memory calls.
lintian -I --pedantic --tag-display-limit 0 "$FRESH"/quab_*.deb >"$WORK/lintian.log" 2>&1
grep -E 'hardening-no-(bindnow|fortify-functions|relro)' "$WORK/lintian.log" &&
    fail "lintian: the programs (above) are not hardened"
# A pre-release sorts below its release; the type quab-assets opens at run time is a dependency.
version=$(dpkg-deb -f "$FRESH"/quab_*.deb Version)
dpkg --compare-versions "$version" lt 1.0 || fail "package version $version sorts above 1.0"
dpkg --compare-versions "$version" gt 0.9 || fail "package version $version sorts below 0.9"
dpkg-deb -f "$FRESH"/quab_*.deb Depends | grep -qE '(^|, )fonts-dejavu-core(,|$| )' ||
    fail "Depends: $(dpkg-deb -f "$FRESH"/quab_*.deb Depends)"

DEST="$WORK/dest"
DESTDIR="$DEST" cmake --install "$FRESH/build" --prefix /opt/quab >"$WORK/install.log" 2>&1 ||
    fail "cmake --install: $(tail -5 "$WORK/install.log")"
# The installed tree moved elsewhere, the build folder renamed away.
mv "$DEST/opt/quab" "$PREFIX"
mv "$FRESH/build" "$FRESH-gone"
for p in $PROGRAMS; do
    [ -x "$PREFIX/bin/$p" ] || fail "$p not installed"
done
for p in quab-testmod quab-testassets quab-bench quab-icon; do
    [ -e "$PREFIX/bin/$p" ] && fail "$p installed"
done
for f in share/quab/quab.dat share/quab/music.xm share/applications/org.quab.Quab.desktop \
    share/metainfo/org.quab.Quab.metainfo.xml share/doc/quab/README.md share/doc/quab/assets.md \
    share/doc/quab/contact-sheet.png; do
    [ -s "$PREFIX/$f" ] || fail "$f not installed"
done
for size in 48 64 128 256; do
    icon="$PREFIX/share/icons/hicolor/${size}x$size/apps/org.quab.Quab.png"
    identify -format '%wx%h' "$icon" 2>/dev/null | grep -qx "${size}x$size" ||
        fail "icon $size: $(identify "$icon" 2>&1)"
done
# No RUNPATH, no path of the build or source folder in any installed file.
for p in $PROGRAMS; do
    readelf -d "$PREFIX/bin/$p" | grep -qiE 'rpath|runpath' && fail "$p carries a RUNPATH"
done
grep -rlF -e "$SOURCE" -e "$FRESH" "$PREFIX" && fail "installed files (above) name the build"
finish
fi

[ -d "$PREFIX" ] || {
    fail "no installed tree: the build stage failed"
    finish
}
trap 'rm -rf "$WORK" "$FRESH" "$FRESH-gone"' EXIT

mkdir "$WORK/empty"
cd "$WORK/empty" || exit 1
export XDG_DATA_HOME="$WORK/no-data-home" XDG_DATA_DIRS="$WORK/no-data-dirs"
export PATH="$PREFIX/bin:$PATH"

# quab-check on the installed default show.
quab-check >"$WORK/check.out" 2>&1 || fail "quab-check on the installed show: status $?"
grep -q "Plan of the show ($PREFIX/share/quab/quab.dat, $PREFIX/share/quab/music.xm)" \
    "$WORK/check.out" || fail "quab-check did not name the installed files: $(head -3 "$WORK/check.out")"

# quab-export: a short video of the installed pictures to a short module.
make_module "$WORK/short.xm" --positions 2 --rows 8 --speed 6 --bpm 125
quab-export --music "$WORK/short.xm" --scale 1 --fps 10 "$WORK/short.mp4" >"$WORK/export.out" 2>&1 ||
    fail "quab-export: $(tail -3 "$WORK/export.out")"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of csv=p=0 "$WORK/short.mp4" 2>/dev/null)
[ "${frames:-0}" -gt 5 ] || fail "the video holds ${frames:-no} frames"
# and a web page, where the build had emscripten to make the page's WebAssembly.
if command -v emcc >/dev/null; then
    quab-export --music "$WORK/short.xm" "$WORK/short.html" >"$WORK/page.out" 2>&1 ||
        fail "quab-export OUT.html: $(tail -3 "$WORK/page.out")"
fi

# quab-play: the installed pictures, a module given as its argument; Scene 7 at row 0 is its
# background, which no clock moves: the window shows quab-render's frame (on the song's own
# positions: --no-fit).
make_module "$WORK/still.xm" --positions 32 --rows 1 --speed 31 --bpm 32
printf '0 21 0\n' >"$WORK/still.timeline"
quab-render "$PREFIX/share/quab/quab.dat" "$WORK/still.timeline" "$WORK/render" >/dev/null ||
    fail "quab-render"
quab-play --no-fit --start 21 --scale 2 "$WORK/still.xm" >"$WORK/play.out" 2>"$WORK/play.err" &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^QUAB' | head -n 1)
if [ -n "$window" ]; then
    for _ in $(seq 50); do
        xdotool getwindowname "$window" | grep -q "position 21" && break
        sleep 0.1
    done
    sleep 0.3
    xwd -silent -id "$window" >"$WORK/still.xwd"
    python3 "$TOOLS" same-picture "$WORK/still.xwd" "$WORK/render/frame_00000.raw" 2 ||
        fail "the installed quab-play does not show quab-render's frame"
    xdotool key --window "$window" Escape
else
    fail "no window for the installed quab-play: $(cat "$WORK/play.err")"
fi
wait "$pid" || fail "quab-play status $?: $(cat "$WORK/play.err")"
grep -qE '^Total playtime: ' "$WORK/play.out" || fail "quab-play printed no playtime"

# Nowhere to find the show: one line naming every place, and status 2 as from every tool.
mkdir "$WORK/elsewhere"
mv "$PREFIX/share/quab" "$WORK/elsewhere/quab"
quab-play >"$WORK/none.out" 2>"$WORK/none.err"
rc=$?
[ $rc -eq 2 ] || fail "quab-play without a show: status $rc"
expect_file "the places looked in" "$WORK/none.err" \
    "quab-play: cannot find quab.dat (looked in ./, $PREFIX/share/quab/, $WORK/no-data-home/quab/, $WORK/no-data-dirs/quab/); name one with --assets"
# The tools' status for no show found is one: 2, as for any input they cannot use.
for tool in quab-check "quab-export $WORK/none.mp4"; do
    $tool >/dev/null 2>"$WORK/none.err"
    rc=$?
    [ $rc -eq 2 ] || fail "$tool without a show: status $rc"
    grep -q "cannot find quab.dat (looked in ./, $PREFIX/share/quab/, " "$WORK/none.err" ||
        fail "$tool without a show: $(cat "$WORK/none.err")"
done
# ... and found again through XDG_DATA_DIRS.
XDG_DATA_DIRS="$WORK/x:$WORK/elsewhere" quab-check >/dev/null 2>&1 ||
    fail "quab-check did not find the show through XDG_DATA_DIRS"

# Man pages: each renders, passes mandoc's lint, and lists the options its program's --help does.
for page in "$PREFIX"/share/man/man*/*.gz; do
    MANWIDTH=80 man -l "$page" >"$WORK/page.txt" 2>"$WORK/man.err" || fail "man -l $page"
    [ -s "$WORK/page.txt" ] && [ ! -s "$WORK/man.err" ] || fail "man -l $page: $(cat "$WORK/man.err")"
    gzip -dc "$page" >"$WORK/page.roff"
    mandoc -Tlint -Wwarning "$WORK/page.roff" >"$WORK/lint" 2>&1 || fail "mandoc lint $page: $(cat "$WORK/lint")"
    [ -s "$WORK/lint" ] && fail "mandoc lint $page: $(cat "$WORK/lint")"
done
python3 "$SOURCE/tests/install/man_options.py" "$PREFIX" $PROGRAMS || fail "man pages and --help disagree"
[ "$(ls "$PREFIX"/share/man/man6 | sort | tr '\n' ' ')" = "quab-play.6.gz vgademo.6.gz xdemo.6.gz " ] ||
    fail "section 6: $(ls "$PREFIX"/share/man/man6)"

out=$(desktop-file-validate "$PREFIX/share/applications/org.quab.Quab.desktop" 2>&1)
[ $? -eq 0 ] && [ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx 'Exec=quab-play %f' "$PREFIX/share/applications/org.quab.Quab.desktop" || fail "Exec line"
grep -qx 'MimeType=audio/x-xm;audio/x-mod;audio/x-s3m;audio/x-it;' \
    "$PREFIX/share/applications/org.quab.Quab.desktop" || fail "MimeType line"
appstreamcli validate --no-net "$PREFIX/share/metainfo/org.quab.Quab.metainfo.xml" \
    >"$WORK/as.out" 2>&1 || fail "appstreamcli validate: $(cat "$WORK/as.out")"
grep -qE '^[EWI]:' "$WORK/as.out" && fail "appstreamcli reports: $(cat "$WORK/as.out")"
# The release AppStream names is the package's version.
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$PREFIX/share/metainfo/org.quab.Quab.metainfo.xml")
[ -n "$release" ] && [ "$release" = "$(dpkg-deb -f "$FRESH"/quab_*.deb Version)" ] ||
    fail "AppStream's release '$release' is not the package's version"
grep -qx 'StartupWMClass=org.quab.Quab' "$PREFIX/share/applications/org.quab.Quab.desktop" ||
    fail "StartupWMClass line"

# The package unpacked into a folder of its own: quab-play from any folder plays the default show.
dpkg-deb -x "$FRESH"/quab_*.deb "$WORK/unpacked" || fail "dpkg-deb -x"
"$WORK/unpacked/usr/bin/quab-play" --scale 1 >"$WORK/play.out" 2>"$WORK/play.err" &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^QUAB: Scene 1' | head -n 1)
[ -n "$window" ] || fail "no window for the packaged quab-play: $(cat "$WORK/play.err")"
sleep 1
xdotool key --window "$window" q
wait "$pid" || fail "packaged quab-play status $?: $(cat "$WORK/play.err")"
grep -qE '^Total playtime: 0:[0-9]+$' "$WORK/play.out" || fail "packaged quab-play: no playtime"
if command -v emcc >/dev/null; then
    [ -s "$WORK/unpacked/usr/share/quab/web/quab.wasm" ] || fail "the package holds no quab.wasm"
fi

finish

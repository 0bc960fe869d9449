# The show's content folder, sourced by ./quab: make_missing_content BUILD_DIR CONTENT_DIR makes
# quab.dat and music.xm there with the show's own tools only where they are missing, and says
# which it made. A file already there is the user's own show and is left exactly as it is.

# make_content_file FILE WHAT TOOL [ARG...]: runs TOOL ARG... on a hidden name beside FILE (the
# same file name after a prefix, so a tool that looks at the name sees FILE's), then moves it
# into place, so that a failed or interrupted run leaves no partial FILE behind.
make_content_file() {
    file=$1
    what=$2
    shift 2
    if [ -e "$file" ] || [ -L "$file" ]; then
        return 0
    fi
    temp="$(dirname "$file")/.making-$$-$(basename "$file")"
    if ! "$@" "$temp" >/dev/null; then
        rm -f "$temp"
        echo "Could not make $file" >&2
        return 1
    fi
    mv "$temp" "$file"
    echo "Made $file ($what)"
}

make_missing_content() {
    mkdir -p "$2" &&
        make_content_file "$2/quab.dat" "the show's own pictures" "$1/quab-assets" build &&
        make_content_file "$2/music.xm" "the show's own soundtrack" "$1/quab-music"
}

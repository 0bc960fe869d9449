#!/bin/sh
# Turns one man page source (scdoc) into roff: build-page.sh IN.scd OUT. scdoc opens every
# section and item with a paragraph macro that man's own macros already start, which mandoc's
# lint reports; those are left out. The page's date is the release's (SOURCE_DATE_EPOCH), not
# the build's, so every build writes the same page.
set -eu
scdoc <"$1" | awk '
    /^\.P$/ { if (held) next; if (prev ~ /^\.(SH|RS|TH|P)( |$)/) next; held = 1; next }
    {
        if (held && $0 !~ /^\.(SH|RE|P)( |$)/) print ".P"
        held = 0
        print
        prev = $0
    }
' >"$2.part"
mv "$2.part" "$2"

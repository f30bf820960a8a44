#!/bin/sh
# check-wide.sh <program>: fails when the program's own code (its objects and
# the libraries built here) uses a wide-character function of the C library
# or prebuilt wide-string code of libstdc++. Both take 32-bit units, and the
# program's wchar_t is 16-bit: only the six functions of Win32Stubs.cpp may
# serve it. Reads the linker's cross-reference table (<program>.map, made with
# --cref), which names every file referring to each symbol: `nm -u` on the
# program alone would miss the functions the sanitizer runtime defines inside
# it (wcscat, mbstowcs, ...).
set -eu
program="$1"
map="$program.map"
[ -f "$map" ] || { echo "check-wide: no link map $map" >&2; exit 1; }
awk '
    # A symbol line: the name (demangled, may hold spaces), then its defining
    # file; each following indented line names a file that refers to it.
    /^Cross Reference Table/ { table = 1; next }
    !table || /^Symbol / || NF == 0 { next }
    /^[^ ]/ {
        definer = $NF
        symbol = $0
        sub(/[ ]+[^ ]+$/, "", symbol)
        name = symbol
        sub(/@.*/, "", name)
        wide = name ~ /^(__)?(wcs|wmem|wc(r)?tomb|wctob|wctype|wctrans|wcwidth|btowc|mbr?towc|mbsn?r?towcs|tow(lower|upper|ctrans)|isw|(f|un)?getw|getwchar|f?putw|putwchar|fwide|[a-z_0-9]*w(printf|scanf))/
        if (!wide && name ~ /wchar_t/ && definer ~ /^\// && name !~ /^typeinfo( name)? for wchar_t/) wide = 1
        # Our own six (the only definitions of these names in our files).
        if (definer ~ /Win32Stubs/) wide = 0
        next
    }
    wide && $1 !~ /^\// {
        printf "check-wide: %s uses %s (defined in %s)\n", $1, symbol, definer
        found = 1
    }
    END { exit found }
' "$map" >&2 || {
    echo "check-wide: $program uses wide-character code built for 32-bit wchar_t" >&2
    exit 1
}

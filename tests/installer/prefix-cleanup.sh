# Sourced by the scripts that run Wine in a prefix of their own, "$work/prefix": when the script ends,
# the prefix's wineserver is stopped, and the prefix is removed if every check passed (it costs over a
# gigabyte); one that failed stays for a look.
finish() {
    wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1
    [ "${failures:-1}" = 0 ] && rm -rf "$work/prefix"
    return 0
}
trap finish EXIT

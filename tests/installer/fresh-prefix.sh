# Sourced by the round trips: a fresh 64-bit Wine prefix in "$work/prefix" that reports Windows 10 22H2,
# stopped when the script ends, and the pass/fail bookkeeping. The caller sets `work` first.
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64
wineserver -k >/dev/null 2>&1
rm -rf "$work"
mkdir -p "$work"
# shellcheck source=prefix-cleanup.sh
source "$ROOT/tests/installer/prefix-cleanup.sh"
"$WINE" wineboot -i >/dev/null 2>&1
wineserver -w
# shellcheck source=../../scripts/windows-version.sh
source "$ROOT/scripts/windows-version.sh"
set_windows_build 19045

failures=0
pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
expect() { local what="$1"; shift; if "$@" >/dev/null 2>&1; then pass "$what"; else fail "$what"; fi; }
expect_not() { local what="$1"; shift; if "$@" >/dev/null 2>&1; then fail "$what"; else pass "$what"; fi; }
run() { "$WINE" "$@" >/dev/null 2>&1; local status=$?; wineserver -w; return $status; }

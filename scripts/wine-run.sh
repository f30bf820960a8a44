#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's private prefix.
#   wine-run.sh <program.exe> [args...]   run it (exit status is the program's)
#   wine-run.sh --init                    create the prefix if needed
# Reuses $DISPLAY when set, otherwise starts its own Xvfb; stops the Xvfb it
# started and the prefix's wineserver afterwards so that nothing outlives the
# command (unless QV_KEEP_WINESERVER is set by a driver that stops it itself).
set -uo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${QV_WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEARCH=win64
# Wine must not try to download and install its .NET and browser runtimes.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
WINE="$(command -v wine64 || command -v wine)"
[ -x /usr/lib/wine/wine64 ] && WINE=/usr/lib/wine/wine64

# shellcheck source=display.sh
source "$ROOT/scripts/display.sh"
own_server=""
cleanup() {
    if [ -n "$own_server" ]; then stop_display; else stop_display --keep-wineserver; fi
}
trap cleanup EXIT

# shellcheck source=windows-version.sh
source "$ROOT/scripts/windows-version.sh"

# The tests run on the Windows users run: the prefix reports Windows 10 22H2.
report_windows_10() {
    [ -f "$WINEPREFIX/.quelvar-windows-19045" ] && return 0
    WINE="$WINE" set_windows_build 19045
    touch "$WINEPREFIX/.quelvar-windows-19045"
}

init_prefix() {
    if [ -f "$WINEPREFIX/.quelvar-ready" ]; then
        # A prefix made before wine32 was installed has no 32-bit system, and
        # Wine does not add one later: such a test prefix is made anew.
        if [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] || [ ! -x /usr/lib/wine/wine ]; then
            report_windows_10
            return 0
        fi
        wineserver -k >/dev/null 2>&1
        wineserver -w >/dev/null 2>&1
        rm -rf "$WINEPREFIX"
    fi
    mkdir -p "$(dirname "$WINEPREFIX")"
    "$WINE" wineboot -i >/dev/null 2>&1
    # Without a window manager Wine waits about two seconds whenever it hides a
    # managed top-level window; unmanaged windows make dialog tests fast.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
    report_windows_10
    touch "$WINEPREFIX/.quelvar-ready"
}

start_display
# A driver that runs many programs (the test script) keeps one wineserver for
# all of them and stops it itself.
[ -z "${QV_KEEP_WINESERVER:-}" ] && own_server=1
init_prefix
if [ "${1:-}" = "--init" ]; then
    exit 0
fi
"$WINE" "$@"
status=$?
exit $status

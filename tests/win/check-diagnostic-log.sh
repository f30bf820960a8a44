#!/usr/bin/env bash
# The diagnostic log end to end, in a Wine prefix of its own: with the switch off, each of three failures
# (damaged data file, unreachable update server, a menu that is gone) reaches the debugger as one line (seen
# through WINEDEBUG) and no
# Quelvar.log appears; with HKCU\Software\Quelvar "DiagnosticLog" = 1 each also leaves one line in the file.
#   check-diagnostic-log.sh <DiagnosticLogProbe.exe> <Quelvar.dll> <work folder>
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
probe="$1" module="$2" work="$3"
export QV_WINEPREFIX="$work/prefix" WINEPREFIX="$work/prefix" QV_KEEP_WINESERVER=1
unset WINEDEBUG
mkdir -p "$work"
# shellcheck source=../installer/prefix-cleanup.sh
source "$ROOT/tests/installer/prefix-cleanup.sh"
run() { "$ROOT/scripts/wine-run.sh" "$@"; }
run --init
to_unix() { winepath -u "$1" 2>/dev/null; }
appdata="$(to_unix "$(WINEDEBUG=-all run cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')")"
module_windows="$(winepath -w "$module" 2>/dev/null)"
folder="$appdata/Quelvar"
[ -n "$appdata" ] || { echo "FAIL no APPDATA in the prefix"; exit 1; }

failures=0
pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
# One line for each failure: the function that caught it and its error code (1392 damaged, 12029 cannot
# connect; the menu call's code varies: Wine sets none for a menu handle that is gone, Windows 1401).
expected=('DataCenter::Load: error 1392 ' 'UpdateCheck::ReportError: error 12029 ' 'QueryContextMenu: error ')
# Wine 8 reports OutputDebugString on the seh channel (older releases on debugstr): ask for both.
debugger="+debugstr,warn+seh"
# count <file> <text>: lines holding the text.
count() { grep -aF -c -- "$2" "$1" 2>/dev/null || true; }

round() {
    local state="$1"
    rm -rf "$folder"
    if [ "$state" = on ]; then
        WINEDEBUG=-all run reg add 'HKCU\Software\Quelvar' /v DiagnosticLog /t REG_DWORD /d 1 /f >/dev/null 2>&1
    else
        WINEDEBUG=-all run reg delete 'HKCU\Software\Quelvar' /v DiagnosticLog /f >/dev/null 2>&1
    fi
    WINEDEBUG="$debugger" run "$probe" "$module_windows" >"$work/probe-$state.out" 2>"$work/debugstr-$state.txt"
    local status=$?
    [ $status -eq 0 ] && pass "$state: the probe met each failure as expected" || fail "$state: probe exit $status"
    for line in "${expected[@]}"; do
        local n
        n="$(grep -a 'OutputDebugString' "$work/debugstr-$state.txt" | grep -aF -c -- "$line" || true)"
        [ "$n" = 1 ] && pass "$state: debugger line '$line'" || fail "$state: debugger line '$line' seen $n times"
        if [ "$state" = on ]; then
            n="$(count "$folder/Quelvar.log" "$line")"
            [ "$n" = 1 ] && pass "on: Quelvar.log line '$line'" || fail "on: Quelvar.log line '$line' seen $n times"
        fi
    done
    if [ "$state" = off ]; then
        [ ! -e "$folder/Quelvar.log" ] && pass "off: no Quelvar.log" || fail "off: Quelvar.log written"
    else
        # The damaged bytes are set aside, never copied into the log.
        [ "$(count "$folder/Quelvar.log" 'not a data file')" = 0 ] && pass "on: no file contents in the log" \
            || fail "on: file contents in the log"
        echo "--- Quelvar.log"; cat "$folder/Quelvar.log"
    fi
}
round off
round on
WINEDEBUG=-all run reg delete 'HKCU\Software\Quelvar' /v DiagnosticLog /f >/dev/null 2>&1
echo "diagnostic log check: $failures failure(s)"
[ $failures -eq 0 ]

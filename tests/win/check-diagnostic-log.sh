#!/usr/bin/env bash
# The diagnostic log end to end, in a Wine prefix of its own: with the switch off, each of three failures
# (damaged data file, unreachable update server, a menu that is gone) reaches the debugger as one line (seen
# through WINEDEBUG) and no
# Quelvar.log appears; with HKCU\Software\Quelvar "DiagnosticLog" = 1 each also leaves one line in the file, unless
# it comes from an elevated process (the probe's own lines are told, the DLL's ask Wine's token). Then two
# processes append across a lowered size limit at once and lose no line to the renaming of the full file.
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
count() { local n; n="$(grep -aF -c -- "$2" "$1" 2>/dev/null)"; echo "${n:-0}"; }

round() {
    local state="$1"
    rm -rf "$folder"
    if [ "$state" != off ]; then
        WINEDEBUG=-all run reg add 'HKCU\Software\Quelvar' /v DiagnosticLog /t REG_DWORD /d 1 /f >/dev/null 2>&1
    else
        WINEDEBUG=-all run reg delete 'HKCU\Software\Quelvar' /v DiagnosticLog /f >/dev/null 2>&1
    fi
    local told=not-elevated
    [ "$state" = elevated ] && told=elevated
    WINEDEBUG="$debugger" run "$probe" "$module_windows" $told >"$work/probe-$state.out" 2>"$work/debugstr-$state.txt"
    local status=$? i=0
    [ $status -eq 0 ] && pass "$state: the probe met each failure as expected" || fail "$state: probe exit $status"
    local token; token="$(sed -n 's/^process elevated: //p' "$work/probe-$state.out" | tr -d '\r')"
    for line in "${expected[@]}"; do
        local n want=0
        n="$(grep -a 'OutputDebugString' "$work/debugstr-$state.txt" | grep -aF -c -- "$line" || true)"
        [ "$n" = 1 ] && pass "$state: debugger line '$line'" || fail "$state: debugger line '$line' seen $n times"
        [ "$state" = on ] && [ $i -lt 2 ] && want=1
        [ "$state" != off ] && [ $i = 2 ] && [ "$token" = 0 ] && want=1
        n="$(count "$folder/Quelvar.log" "$line")"
        [ "$n" = $want ] && pass "$state: Quelvar.log line '$line' $want time(s)" \
            || fail "$state: Quelvar.log line '$line' seen $n times, not $want"
        i=$((i + 1))
    done
    if [ "$state" != on ]; then
        [ "$state" = off ] || [ "$token" = 1 ] || return
        [ ! -e "$folder/Quelvar.log" ] && pass "$state: no Quelvar.log" || fail "$state: Quelvar.log written"
    else
        # The damaged bytes are set aside, never copied into the log.
        [ "$(count "$folder/Quelvar.log" 'not a data file')" = 0 ] && pass "on: no file contents in the log" \
            || fail "on: file contents in the log"
        echo "--- Quelvar.log"; cat "$folder/Quelvar.log"
    fi
}
# Two writers, 1200 lines of 51 bytes, a limit of 40000 bytes: one renaming, both files kept whole.
rotation() {
    rm -rf "$folder"; mkdir -p "$folder"
    local where; where="$(winepath -w "$folder" 2>/dev/null)"
    run "$probe" --append "$where" 600 40000 & local first=$!
    run "$probe" --append "$where" 600 40000; local second=$?
    wait $first && [ $second = 0 ] || { fail "rotation $1: a writer failed"; return; }
    local n; n="$(cat "$folder/Quelvar.log.1" "$folder/Quelvar.log" 2>/dev/null | grep -aE $'^probe +[0-9]+ line +[0-9]+ of +600 [.]{8}\r$' | sort -u | wc -l)"
    [ "$n" = 1200 ] && pass "rotation $1: 1200 of 1200 lines kept" || fail "rotation $1: $n of 1200 lines kept"
}
round off
round on
round elevated
for attempt in 1 2 3; do rotation $attempt; done
WINEDEBUG=-all run reg delete 'HKCU\Software\Quelvar' /v DiagnosticLog /f >/dev/null 2>&1
echo "diagnostic log check: $failures failure(s)"
[ $failures -eq 0 ]

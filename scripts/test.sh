#!/usr/bin/env bash
# Sets everything up, builds, and runs every test under Wine: one Xvfb and one
# wineserver serve the whole run and are stopped at its end.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/build.sh"

export WINEPREFIX="${QV_WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
export QV_KEEP_WINESERVER=1
xvfb_pid=""
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT
# shellcheck source=display.sh
source "$ROOT/scripts/display.sh"
start_display
xvfb_pid="$XVFB_PID"
wineserver -p
# Start Wine's own services (services.exe, explorer.exe, ...) now, with their
# output going nowhere: started by a test, they would inherit its output pipe
# and keep ctest waiting for it to close.
"$ROOT/scripts/wine-run.sh" wineboot >/dev/null 2>&1 </dev/null
cd "$ROOT/build"
ctest --output-on-failure -j"$(nproc)" "$@"

#!/usr/bin/env bash
# Sets everything up, builds both modules, and runs every test under Wine, first
# for the 64-bit build (build/) and then for the 32-bit one (build-i686/, run by
# wine32 in the same 64-bit prefix): one Xvfb and one wineserver serve the whole
# run and are stopped at its end. Arguments go to both ctest runs. Then the
# native fuzz targets replay their seeds and run briefly (scripts/fuzz.sh ci).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/build.sh"

export WINEPREFIX="${QV_WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
export QV_KEEP_WINESERVER=1
# shellcheck source=display.sh
source "$ROOT/scripts/display.sh"
trap stop_display EXIT
start_display
wineserver -p
# Start Wine's own services (services.exe, explorer.exe, ...) now, with their
# output going nowhere: started by a test, they would inherit its output pipe
# and keep ctest waiting for it to close.
"$ROOT/scripts/wine-run.sh" wineboot >/dev/null 2>&1 </dev/null
status=0
for dir in build build-i686; do
    echo "== tests of $dir"
    # A test program now and then ends within 10 ms without having printed a line, as if Wine had not
    # started it; a test that fails is run once more, and ctest's output names each such run.
    (cd "$ROOT/$dir" && ctest --output-on-failure --repeat until-pass:2 -j"$(nproc)" "$@") || status=1
done
# The parsers once more, natively under the sanitizers: they find what does
# not fault under Wine (a read just past a buffer, undefined behaviour).
echo "== native fuzzing (both pointer sizes)"
"$ROOT/scripts/fuzz.sh" ci || status=1
exit $status

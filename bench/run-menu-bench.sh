#!/usr/bin/env bash
# The real menu loop, run after run: MenuBench.exe several times, each in a Wine session of its own, and
# the spread of its loop figures over the runs.
#   bench/run-menu-bench.sh BUILD_DIR [--runs N] [--cpu K | --free]
# Every window message that passes a hook costs Wine a few requests to its wineserver, a process of its
# own. Where the program and the server run on different processors, each request waits for the other
# processor to wake up: on a virtual machine with idle processors that is six or more times a switch on
# one processor, and the scheduler decides it anew in each run, which made one run fast and the next
# slow. So each run is pinned to one processor (--cpu, default 0), the program and the wineserver that
# this run starts alike; --free leaves the placement to the scheduler, to see the difference.
# Prints a line per run, then the minimum, median and maximum of each column over the runs.
set -uo pipefail

usage() {
    echo "usage: $0 BUILD_DIR [--runs N] [--cpu K | --free]" >&2
    exit 2
}
[ $# -ge 1 ] || usage
BUILD="$(cd "$1" && pwd)" || usage
shift
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
RUNS=10
PIN=(taskset -c 0)
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) RUNS="$2"; shift 2 ;;
        --cpu) PIN=(taskset -c "$2"); shift 2 ;;
        --free) PIN=(); shift ;;
        *) usage ;;
    esac
done
export WINEPREFIX="${QV_WINEPREFIX:-$ROOT/build/wineprefix}"
# A server already running for the prefix (tests, say) would serve these runs from wherever it runs.
socket="/tmp/.wine-$(id -u)/server-$(printf %x "$(stat -c %d "$WINEPREFIX")")-$(printf %x "$(stat -c %i "$WINEPREFIX")")/socket"
if [ -S "$socket" ] && pgrep -x wineserver >/dev/null; then
    echo "a wineserver already serves $WINEPREFIX: wait until it ends (or stop it) and run again" >&2
    exit 1
fi
[ ${#PIN[@]} -eq 0 ] && echo "placement: left to the scheduler" || echo "placement: ${PIN[*]}"

table="$(mktemp)"
trap 'rm -f "$table"' EXIT
for run in $(seq 1 "$RUNS"); do
    "${PIN[@]}" "$ROOT/scripts/wine-run.sh" "$BUILD/bin/MenuBench.exe" 2>&1 | python3 -c '
import re, sys
text = sys.stdin.read()
def number(pattern):
    found = re.search(pattern, text)
    return float(found.group(1)) if found else float("nan")
ours = number(r"Quelvar submenu, \d+ owner-drawn entries +([0-9.]+) ms")
system = number(r"system text submenu, \d+ entries +([0-9.]+) ms")
peer = number(r"carrying the same three hooks +([0-9.]+) ms")
median = number(r"per round: median ([0-9.]+)")
hook = number(r"a bare WH_CALLWNDPROC hook +([0-9.]+) ms")
print(f"{ours:.1f} {system:.1f} {peer:.1f} {ours / peer:.2f} {median:.2f} {ours / system:.2f} {hook:.1f}")
' >>"$table"
    printf "run %2d: %s\n" "$run" "$(tail -n1 "$table")"
done
python3 - "$table" <<'EOF'
import statistics, sys
names = ["ours ms", "system ms", "hooked peer ms", "ours/hooked peer", "per-round median",
         "ours/system", "hooked send us"]
rows = [[float(x) for x in line.split()] for line in open(sys.argv[1]) if line.strip()]
print(f"{len(rows)} runs; columns: minimum / median / maximum")
for i, name in enumerate(names):
    column = [row[i] for row in rows]
    print(f"  {name:18} {min(column):8.2f} {statistics.median(column):8.2f} {max(column):8.2f}")
EOF

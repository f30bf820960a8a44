#!/usr/bin/env bash
# Checking a list of checksums end to end: `qvsum.exe --check LIST` under Wine against `sha256sum -c LIST`
# and `rhash --sha256 -c LIST`, on the same files in the same run.
#   bench/run-verify-bench.sh BUILD_DIR [--reps N] [--build32 DIR] [--data FOLDER]
#   bench/run-verify-bench.sh --clean [--data FOLDER]
# BUILD_DIR holds the 64-bit build (bin/qvsum.exe); --build32 adds a 32-bit build (say build-i686) timed
# beside it. The first run creates, in FOLDER (default /tmp/quelvar-verify-bench), 1,000 files of 1 MiB of
# random bytes and one file of 1 GiB, 2 GiB in all, with a SHA-256 list of each written by sha256sum; later
# runs reuse them. --clean deletes that folder and does nothing else.
# Every run reads all the files once to warm the file cache, checks that each program really verifies (a
# list with a wrong digest must fail), then, each repetition, runs every program once on each list in turn,
# so that a slow spell of the machine falls on all of them alike. Wine's start-up is part of our time, as a
# user meets it, but the wineserver and Wine's own services start once before the timing and serve every run.
# Prints, per list and per build: each program's best time of --reps (default 3), the ratio of ours to the
# fastest peer's best, and the median (and range) of the repetitions' own ratios against the fastest peer
# of the same repetition. Goals: 0.6 for the 1,000 files, at most 1.05 for the large file.
set -uo pipefail

usage() {
    echo "usage: $0 BUILD_DIR [--reps N] [--build32 DIR] [--data FOLDER] | $0 --clean [--data FOLDER]" >&2
    exit 2
}
BUILD=""
BUILD32=""
REPS=3
DATA=/tmp/quelvar-verify-bench
CLEAN=""
while [ $# -gt 0 ]; do
    case "$1" in
        --reps) REPS="$2"; shift 2 ;;
        --build32) BUILD32="$(cd "$2" && pwd)" || usage; shift 2 ;;
        --data) DATA="$2"; shift 2 ;;
        --clean) CLEAN=1; shift ;;
        -*) usage ;;
        *) [ -z "$BUILD" ] || usage; BUILD="$(cd "$1" && pwd)" || usage; shift ;;
    esac
done
if [ -n "$CLEAN" ]; then
    rm -rf "$DATA"
    exit 0
fi
[ -n "$BUILD" ] || usage
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WINE_RUN="$ROOT/scripts/wine-run.sh"
builds=("$BUILD")
[ -n "$BUILD32" ] && builds+=("$BUILD32")
for build in "${builds[@]}"; do
    [ -f "$build/bin/qvsum.exe" ] || { echo "missing $build/bin/qvsum.exe: build first" >&2; exit 1; }
done
for tool in sha256sum rhash; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 1; }
done

# The data, made once: a folder of small files and one large file, each with its list.
if [ ! -f "$DATA/complete" ]; then
    echo "creating 2 GiB of files in $DATA ..." >&2
    rm -rf "$DATA"
    mkdir -p "$DATA/files" || exit 1
    head -c $((1000 * 1024 * 1024)) /dev/urandom | (cd "$DATA/files" && split -b 1M -a 3 -d - f) || exit 1
    head -c $((1024 * 1024 * 1024)) /dev/urandom >"$DATA/large.bin" || exit 1
    (cd "$DATA" && sha256sum files/f* >files.sha256 && sha256sum large.bin >large.sha256) || exit 1
    [ "$(wc -l <"$DATA/files.sha256")" -eq 1000 ] || { echo "expected 1,000 files" >&2; exit 1; }
    touch "$DATA/complete"
fi
cd "$DATA" || exit 1
cat files/f* large.bin >/dev/null  # warm the file cache
# Three listed files, one of them with a wrong digest: a program that does not fail here does not verify.
head -n 3 files.sha256 | awk 'NR == 3 { $0 = (substr($0, 1, 1) == "0" ? "1" : "0") substr($0, 2) } 1' >wrong.sha256

export QV_WINEPREFIX="${QV_WINEPREFIX:-$BUILD/wineprefix}"
stop_wine() {
    stop_wine_services
    rm -f "$DATA/wrong.sha256"
}
trap stop_wine EXIT
# shellcheck source=../scripts/display.sh
source "$ROOT/scripts/display.sh"
start_wine_services "$WINE_RUN"

# The programs, by name: the peers first, then one qvsum per build.
names=("sha256sum -c" "rhash --sha256 -c")
commands=("sha256sum -c" "rhash --sha256 -c")
for build in "${builds[@]}"; do
    names+=("qvsum $(basename "$build")")
    commands+=("$WINE_RUN $build/bin/qvsum.exe --check")
done
peers=2

for i in "${!commands[@]}"; do
    read -r -a command <<<"${commands[$i]}"
    if "${command[@]}" wrong.sha256 >/dev/null 2>&1 || ! "${command[@]}" large.sha256 >/dev/null 2>&1; then
        echo "${names[$i]} does not tell a wrong digest from a right one: no figures" >&2
        exit 1
    fi
done

# shellcheck source=timing.sh
source "$ROOT/bench/timing.sh"

printf "%-29s %-22s %9s  %-6s %s\n" list program "best (s)" ratio "paired ratio: median (min-max)"
for list in files.sha256 large.sha256; do
    best=()
    paired=()  # per build: the repetitions' ratios, space-separated
    for i in "${!commands[@]}"; do best[i]=""; done
    for ((b = 0; b < ${#builds[@]}; ++b)); do paired[b]=""; done
    for _ in $(seq "$REPS"); do
        fastest=""
        times=()
        for i in "${!commands[@]}"; do
            read -r -a command <<<"${commands[$i]}"
            t="$(time_command "${command[@]}" "$list")" || { echo "${names[$i]} failed on $list" >&2; exit 1; }
            times[i]="$t"
            smaller "$t" "${best[$i]}" && best[i]="$t"
            [ "$i" -lt $peers ] && smaller "$t" "$fastest" && fastest="$t"
        done
        for ((b = 0; b < ${#builds[@]}; ++b)); do
            paired[b]+=" $(awk -v a="${times[$((peers + b))]}" -v f="$fastest" 'BEGIN { printf "%.3f", a / f }')"
        done
    done
    fastest=""
    for ((i = 0; i < peers; ++i)); do smaller "${best[$i]}" "$fastest" && fastest="${best[$i]}"; done
    label="$list ($([ $list = files.sha256 ] && echo "1,000 x 1 MiB" || echo "1 x 1 GiB"))"
    for i in "${!commands[@]}"; do
        ratio="" spread=""
        if [ "$i" -ge $peers ]; then
            ratio="$(awk -v a="${best[$i]}" -v f="$fastest" 'BEGIN { printf "%.2f", a / f }')"
            # shellcheck disable=SC2086
            spread="$(median_range ${paired[$((i - peers))]})"
        fi
        printf "%-29s %-22s %9s  %-6s %s\n" "$label" "${names[$i]}" "${best[$i]}" "$ratio" "$spread"
    done
done

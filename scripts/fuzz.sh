#!/usr/bin/env bash
# Fuzzes the portable core natively (clang-14, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer; the project fuzz/), in 64-bit and in 32-bit.
#
#   fuzz.sh ci                          builds both pointer sizes, replays every
#                                       target's seeds and runs each target briefly
#   fuzz.sh run [options] [TARGET...]   runs the targets for as long as asked,
#                                       growing a corpus kept outside the repository
#   fuzz.sh coverage [options] [TARGET...]
#                                       line and branch coverage of each target's own
#                                       sources on its corpus and seeds (llvm-cov)
# Options: --seconds N (per target and pointer size; run: 600, ci: 30),
#          --corpus DIR (one folder per target inside; default .cache/fuzz-corpus),
#          --arch x86_64|i386|both (default both).
# Targets: DataFileFuzz VersionInfoFuzz HashFuzz TextFuzz (default all).
# An input that makes a target fail is kept under build/fuzz/findings/ (the
# path is printed) and the command exits with status 1.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# The bootstrap's functions: packages, deb-src entries and the source trees.
# shellcheck source=bootstrap.sh
source "$ROOT/scripts/bootstrap.sh"

ALL_TARGETS=(DataFileFuzz VersionInfoFuzz HashFuzz TextFuzz)
OUT="$ROOT/build/fuzz"
FINDINGS="$OUT/findings"

say() { printf '[fuzz] %s\n' "$*" >&2; }

# Longest input of each target: beyond what its parser needs to meet every rule.
max_len() {
    case "$1" in
        DataFileFuzz) echo 16384 ;;
        VersionInfoFuzz) echo 8192 ;;
        *) echo 4096 ;;
    esac
}

# The sources a target exists for, for its coverage figures.
own_sources() {
    case "$1" in
        DataFileFuzz) echo src/data/DataArchive.cpp src/data/DataArchiveLayout.cpp \
            src/data/DataArchiveBoostReader.cpp src/data/DataArchiveSerialization.h src/data/Records.cpp \
            src/data/FolderList.cpp src/data/FolderList.h ;;
        VersionInfoFuzz) echo src/update/VersionInfo.cpp ;;
        HashFuzz) echo src/tools/HashCalculator.cpp src/tools/hash/*.cpp ;;
        TextFuzz) echo src/system/Path.cpp src/tools/NameList.cpp src/tools/HashCompare.cpp \
            src/options/TextFile.cpp src/shellext/MenuChar.cpp ;;
    esac
}

prepare() {
    add_i386
    install_packages
    ensure_deb_src
    BOOST_SOURCE="$(fetch_source boost1.81)"
    TINYXML_SOURCE="$(fetch_source tinyxml)"
}

# build <arch> [coverage]: configures (once) and builds one pointer size; prints its folder.
build() {
    local arch="$1" kind="${2:-}" dir="$OUT/$1"
    local coverage=OFF
    if [ "$kind" = coverage ]; then dir="$OUT/$arch-coverage" coverage=ON; fi
    if [ ! -f "$dir/build.ninja" ]; then
        mkdir -p "$OUT"
        cmake -S "$ROOT/fuzz" -B "$dir" -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
            -DCMAKE_ASM_COMPILER=clang-14 -DQV_FUZZ_ARCH="$arch" -DQV_FUZZ_COVERAGE="$coverage" \
            -DQV_BOOST_SOURCE="$BOOST_SOURCE" -DQV_TINYXML_SOURCE="$TINYXML_SOURCE" >"$OUT/configure-$arch.log" 2>&1 ||
            { cat "$OUT/configure-$arch.log" >&2; exit 1; }
    fi
    # Inside $(...) bash does not stop on a failure by itself: say so, or a stale program would be fuzzed.
    cmake --build "$dir" -j"$(nproc)" >&2 || { echo "the $arch fuzz build failed" >&2; return 1; }
    echo "$dir"
}

# fuzz_one <dir> <arch> <target> <seconds> <corpus>: one run; a finding lands in
# $FINDINGS/<target>-<arch>/. Returns libFuzzer's status.
fuzz_one() {
    local dir="$1" arch="$2" target="$3" seconds="$4" corpus="$5"
    local findings="$FINDINGS/$target-$arch" log="$OUT/logs/$target-$arch.log"
    mkdir -p "$findings" "$corpus" "$OUT/logs"
    local status=0 dict=()
    [ -f "$ROOT/fuzz/$target.dict" ] && dict=(-dict="$ROOT/fuzz/$target.dict")
    nice "$dir/$target" -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" "${dict[@]}" \
        "$corpus" "$dir/seeds/$target" >"$log" 2>&1 || status=$?
    local runs
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
    if [ "$status" -eq 0 ]; then
        say "$target ($arch): ${runs:-?} executions in ${seconds}s, no finding"
    else
        say "$target ($arch): FINDING after ${runs:-?} executions (status $status); log $log"
        grep -E 'ERROR|SUMMARY|Fuzz: |Win32 stub' "$log" | head -5 >&2 || true
    fi
    return "$status"
}

# replay <dir> <arch> <target>: every seed once.
replay() {
    local dir="$1" arch="$2" target="$3" findings="$FINDINGS/$3-$2"
    mkdir -p "$findings" "$OUT/logs"
    local log="$OUT/logs/$target-$arch-seeds.log"
    if "$dir/$target" -runs=0 -artifact_prefix="$findings/" "$dir/seeds/$target" >"$log" 2>&1; then
        return 0
    fi
    say "$target ($arch): a seed FAILS; log $log"
    return 1
}

# Findings of earlier runs stay for whoever looks into them; a run reports
# the ones it made.
mkdir -p "$OUT"
STARTED="$OUT/.run-$$"
touch "$STARTED"
trap 'rm -f "$STARTED"' EXIT
report_findings() {
    local found
    found="$(find "$FINDINGS" -type f -newer "$STARTED" 2>/dev/null | sort)"
    if [ -n "$found" ]; then
        say "inputs that made a target fail (kept in $FINDINGS):"
        sed 's/^/  /' <<<"$found" >&2
        return 1
    fi
    return 0
}

# fuzz_targets SECONDS CORPUS: runs every target, the pointer sizes of one
# target side by side, on CORPUS/<target>, or with CORPUS "fresh" on a corpus
# of each build's own that starts empty. Uses `dirs` from the builds.
fuzz_targets() {
    local seconds="$1" corpus="$2" target i work pid status=0 pids
    for target in "${targets[@]}"; do
        pids=()
        for i in "${!archs[@]}"; do
            if [ "$corpus" = fresh ]; then
                work="${dirs[$i]}/corpus/$target"
                rm -rf "$work"
            else
                work="$corpus/$target"
            fi
            fuzz_one "${dirs[$i]}" "${archs[$i]}" "$target" "$seconds" "$work" &
            pids+=($!)
        done
        for pid in "${pids[@]}"; do wait "$pid" || status=1; done
    done
    return $status
}

mode="${1:-}"
[ $# -gt 0 ] && shift
seconds="" corpus="$ROOT/.cache/fuzz-corpus" archs=(x86_64 i386) targets=()
while [ $# -gt 0 ]; do
    case "$1" in
        --seconds) seconds="$2"; shift 2 ;;
        --corpus) corpus="$(mkdir -p "$2" && cd "$2" && pwd)"; shift 2 ;;
        --arch)
            case "$2" in both) archs=(x86_64 i386) ;; x86_64 | i386) archs=("$2") ;; *) echo "unknown --arch $2" >&2; exit 2 ;; esac
            shift 2 ;;
        -*) echo "unknown option $1" >&2; exit 2 ;;
        *) targets+=("$1"); shift ;;
    esac
done
[ ${#targets[@]} -gt 0 ] || targets=("${ALL_TARGETS[@]}")

case "$mode" in
    ci)
        started=$SECONDS
        prepare
        dirs=()
        for arch in "${archs[@]}"; do dir="$(build "$arch")" || exit 1; dirs+=("$dir"); done
        say "built in $((SECONDS - started))s"
        status=0
        for i in "${!archs[@]}"; do
            for target in "${targets[@]}"; do replay "${dirs[$i]}" "${archs[$i]}" "$target" || status=1; done
        done
        # Each pointer size on a corpus of its own that starts empty.
        fuzz_targets "${seconds:-30}" fresh || status=1
        report_findings || status=1
        say "native fuzzing took $((SECONDS - started))s"
        exit $status
        ;;
    run)
        prepare
        status=0
        dirs=()
        for arch in "${archs[@]}"; do dir="$(build "$arch")" || exit 1; dirs+=("$dir"); done
        fuzz_targets "${seconds:-600}" "$corpus" || status=1
        report_findings || status=1
        say "corpus: $corpus"
        exit $status
        ;;
    coverage)
        prepare
        for arch in "${archs[@]}"; do
            dir="$(build "$arch" coverage)" || exit 1
            for target in "${targets[@]}"; do
                profiles="$dir/profiles/$target"
                rm -rf "$profiles" && mkdir -p "$profiles" "$corpus/$target"
                LLVM_PROFILE_FILE="$profiles/%p.profraw" "$dir/$target" -runs=0 -max_len="$(max_len "$target")" \
                    "$corpus/$target" "$dir/seeds/$target" >"$dir/profiles/$target.log" 2>&1
                llvm-profdata-14 merge -sparse "$profiles"/*.profraw -o "$profiles.profdata"
                echo "== $target ($arch): own sources, on $(find "$corpus/$target" "$dir/seeds/$target" -type f | wc -l) inputs"
                # shellcheck disable=SC2046
                (cd "$ROOT" && llvm-cov-14 report "$dir/$target" -instr-profile="$profiles.profdata" \
                    -show-region-summary=false -show-instantiation-summary=false $(own_sources "$target"))
            done
        done
        ;;
    *)
        sed -n '2,/^set -euo/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//' >&2
        exit 2
        ;;
esac

#!/usr/bin/env bash
# Hash throughput of the engine against the fastest native tools on this machine, measured in the same run.
#   bench/run-hash-bench.sh BUILD_DIR [FOLDER] [--md2-mib N] [--reps N] [--only ALGORITHM,...] [--memory]
# Creates (once) a 1 GiB file of random bytes in FOLDER (default /tmp), warms the file cache, then for every
# algorithm times HashBench.exe under Wine (timed inside the program, so Wine's start-up is excluded) and
# each available peer (openssl dgst, rhash, coreutils, zlib through python3), taking turns in each repetition.
# Prints: algorithm, our time, best peer and its time, ratio (ours / best peer); MD2, which no peer
# offers, is reported in MB/s. Each figure is the best of --reps runs (default 1); the last column is the
# median (and range) of the repetitions' own ratios, ours against the fastest peer of the same repetition.
# --memory compares the digests alone instead: HashBench hashing 1 GiB handed over from memory against
# `openssl speed -evp` on 16000-byte buffers, both in MB/s, for the algorithms openssl offers.
# --versus OTHER_BUILD_DIR compares two builds of our own instead (say the 32-bit build-i686 against the
# 64-bit build): both HashBench programs on the same file, taking turns; ratio = this build / the other.
set -uo pipefail

usage() {
    echo "usage: $0 BUILD_DIR [FOLDER] [--md2-mib N] [--reps N] [--only ALGORITHM,...] [--memory]" \
        "[--versus OTHER_BUILD_DIR]" >&2
    exit 2
}
[ $# -ge 1 ] || usage
BUILD="$(cd "$1" && pwd)" || usage
shift
FOLDER=/tmp
MD2_MIB=1024
REPS=1
ALGORITHMS="crc32 gost md2 md4 md5 sha1 sha256 sha384 sha512"
MEMORY=""
VERSUS=""
while [ $# -gt 0 ]; do
    case "$1" in
        --md2-mib) MD2_MIB="$2"; shift 2 ;;
        --reps) REPS="$2"; shift 2 ;;
        --only) ALGORITHMS="${2//,/ }"; shift 2 ;;
        --memory) MEMORY=1; shift ;;
        --versus) VERSUS="$(cd "$2" && pwd)" || usage; shift 2 ;;
        -*) usage ;;
        *) FOLDER="$1"; shift ;;
    esac
done
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WINE_RUN="$ROOT/scripts/wine-run.sh"
BENCH="$BUILD/bin/HashBench.exe"
[ -f "$BENCH" ] || BENCH="$BUILD/bench/HashBench.exe"
[ -f "$BENCH" ] || { echo "missing HashBench.exe in $BUILD: build first" >&2; exit 1; }

FILE="$FOLDER/quelvar-hash-bench-1GiB.bin"
SIZE=$((1024 * 1024 * 1024))
MD2_FILE="$FILE"
if [ -z "$MEMORY" ]; then
    if [ "$(stat -c %s "$FILE" 2>/dev/null)" != "$SIZE" ]; then
        echo "creating $FILE ..." >&2
        head -c "$SIZE" /dev/urandom >"$FILE" || exit 1
    fi
    if [ "$MD2_MIB" -lt 1024 ]; then
        MD2_FILE="$FOLDER/quelvar-hash-bench-md2-${MD2_MIB}MiB.bin"
        head -c $((MD2_MIB * 1024 * 1024)) "$FILE" >"$MD2_FILE"
    fi
    cat "$FILE" >/dev/null  # warm the file cache
fi

windows_path() { local p="$1"; echo "Z:${p//\//\\}"; }

# shellcheck source=timing.sh
source "$ROOT/bench/timing.sh"

zlib_crc32() {
    python3 -c 'import sys, zlib
c = 0
with open(sys.argv[1], "rb") as f:
    while True:
        b = f.read(1 << 20)
        if not b: break
        c = zlib.crc32(b, c)
print("%08x" % c)' "$1"
}

peers_for() {
    case "$1" in
        crc32) echo "rhash --crc32|zlib_crc32" ;;
        gost) echo "rhash --gost94" ;;
        md2) echo "" ;;
        md4) echo "rhash --md4|openssl dgst -provider legacy -provider default -md4" ;;
        md5) echo "openssl dgst -md5|md5sum|rhash --md5" ;;
        sha1) echo "openssl dgst -sha1|sha1sum|rhash --sha1" ;;
        sha256) echo "openssl dgst -sha256|sha256sum|rhash --sha256" ;;
        sha384) echo "openssl dgst -sha384|sha384sum|rhash --sha384" ;;
        sha512) echo "openssl dgst -sha512|sha512sum|rhash --sha512" ;;
    esac
}

export QV_WINEPREFIX="${QV_WINEPREFIX:-$BUILD/wineprefix}"
trap stop_wine_services EXIT
# shellcheck source=../scripts/display.sh
source "$ROOT/scripts/display.sh"
start_wine_services "$WINE_RUN"

if [ -n "$MEMORY" ]; then
    printf "%-8s %14s %16s  %s\n" algorithm "ours (MB/s)" "openssl (MB/s)" "ratio (time)"
    for algorithm in $ALGORITHMS; do
        case "$algorithm" in
            md4) evp=(-provider legacy -provider default -evp md4) ;;
            md5 | sha1 | sha256 | sha384 | sha512) evp=(-evp "$algorithm") ;;
            *) continue ;;
        esac
        ours=""
        peer=""
        for _ in $(seq "$REPS"); do
            line="$("$WINE_RUN" "$BENCH" "$algorithm" --memory 2>/dev/null | tr -d '\r')"
            speed="$(echo "$line" | awk '{ print $2 }')"
            [ -n "$speed" ] && larger "$speed" "$ours" && ours="$speed"
            speed="$(openssl speed "${evp[@]}" -bytes 16000 -seconds 2 -mr 2>/dev/null |
                awk -F: '/^\+F:/ { printf "%.0f", $4 / 1e6 }')"
            [ -n "$speed" ] && larger "$speed" "$peer" && peer="$speed"
        done
        if [ -z "$ours" ] || [ -z "$peer" ]; then
            printf "%-8s %14s %16s  %s\n" "$algorithm" "${ours:--}" "${peer:--}" "-"
        else
            printf "%-8s %14s %16s  %s\n" "$algorithm" "$ours" "$peer" \
                "$(awk -v a="$ours" -v b="$peer" 'BEGIN { printf "%.2f", b / a }')"
        fi
    done
    exit 0
fi

if [ -n "$VERSUS" ]; then
    OTHER="$VERSUS/bin/HashBench.exe"
    [ -f "$OTHER" ] || { echo "missing HashBench.exe in $VERSUS: build first" >&2; exit 1; }
    printf "%-8s %12s %12s  %-6s %s\n" algorithm "$(basename "$BUILD") (s)" "$(basename "$VERSUS") (s)" ratio digests
    for algorithm in $ALGORITHMS; do
        file="$FILE"
        [ "$algorithm" = md2 ] && file="$MD2_FILE"
        mine=""
        theirs=""
        same=same
        for _ in $(seq "$REPS"); do
            a="$("$WINE_RUN" "$BENCH" "$algorithm" "$(windows_path "$file")" 2>/dev/null | tr -d '\r')"
            b="$("$WINE_RUN" "$OTHER" "$algorithm" "$(windows_path "$file")" 2>/dev/null | tr -d '\r')"
            [ -n "$a" ] && smaller "${a%% *}" "$mine" && mine="${a%% *}"
            [ -n "$b" ] && smaller "${b%% *}" "$theirs" && theirs="${b%% *}"
            [ "${a#* }" = "${b#* }" ] || same=DIFFERENT
        done
        if [ -z "$mine" ] || [ -z "$theirs" ]; then
            printf "%-8s %12s %12s  %-6s %s\n" "$algorithm" "${mine:--}" "${theirs:--}" - -
            continue
        fi
        printf "%-8s %12s %12s  %-6s %s\n" "$algorithm" "$mine" "$theirs" \
            "$(awk -v a="$mine" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')" "$same"
    done
    exit 0
fi

printf "%-8s %10s  %-44s %10s  %-5s %s\n" algorithm "ours (s)" "best peer" "peer (s)" "ratio" \
    "paired ratio: median (min-max)"
for algorithm in $ALGORITHMS; do
    file="$FILE"
    [ "$algorithm" = md2 ] && file="$MD2_FILE"

    available=()
    IFS='|' read -r -a peers <<<"$(peers_for "$algorithm")"
    for peer in "${peers[@]}"; do
        read -r -a command <<<"$peer"
        case "${command[0]}" in
            zlib_crc32) command -v python3 >/dev/null || continue ;;
            *) command -v "${command[0]}" >/dev/null || continue ;;
        esac
        # A peer that cannot compute this digest here (say, openssl without MD4) is skipped.
        "${command[@]}" /dev/null >/dev/null 2>&1 || continue
        available+=("$peer")
    done

    # Each repetition runs ours and then every peer once, so that a slow spell of the machine falls on
    # all of them alike rather than on whichever happened to be measured then.
    ours=""
    digest=""
    best=""
    best_name=""
    paired=()
    for _ in $(seq "$REPS"); do
        line="$("$WINE_RUN" "$BENCH" "$algorithm" "$(windows_path "$file")" 2>/dev/null | tr -d '\r')"
        mine="${line%% *}"
        if [ -n "$mine" ]; then
            digest="${line#* }"
            smaller "$mine" "$ours" && ours="$mine"
        fi
        fastest=""
        for peer in "${available[@]}"; do
            read -r -a command <<<"$peer"
            t="$(time_command "${command[@]}" "$file")" || continue
            smaller "$t" "$fastest" && fastest="$t"
            if smaller "$t" "$best"; then
                best="$t"
                best_name="$peer"
            fi
        done
        # This repetition's ratio against the fastest peer of the same repetition: measured minutes
        # apart, best-of figures can each catch a different quiet spell of the machine.
        if [ -n "$mine" ] && [ -n "$fastest" ]; then
            paired+=("$(awk -v a="$mine" -v b="$fastest" 'BEGIN { printf "%.3f", a / b }')")
        fi
    done
    [ -n "$ours" ] || { echo "$algorithm: HashBench failed" >&2; continue; }

    if [ "$algorithm" = md2 ]; then
        bytes=$(stat -c %s "$file")
        speed=$(awk -v s="$ours" -v n="$bytes" 'BEGIN { printf "%.1f", n / s / 1e6 }')
        printf "%-8s %10s  %-44s %10s  %s\n" md2 "$ours" "(no peer; $((bytes / 1048576)) MiB)" "-" "$speed MB/s"
        continue
    fi

    # The digest of the best peer must equal ours, or the comparison means nothing.
    check=""
    if [ -n "$best_name" ]; then
        read -r -a command <<<"$best_name"
        "${command[@]}" "$file" 2>/dev/null | grep -qi "$digest" || check="  DIGEST MISMATCH"
    fi
    if [ -z "$best" ]; then
        printf "%-8s %10s  %-44s %10s  %s\n" "$algorithm" "$ours" "(no peer available)" "-" "-"
    else
        ratio=$(awk -v a="$ours" -v b="$best" 'BEGIN { printf "%.2f", a / b }')
        spread="-"
        [ "${#paired[@]}" -gt 0 ] && spread=$(median_range "${paired[@]}")
        printf "%-8s %10s  %-44s %10s  %-5s %s%s\n" "$algorithm" "$ours" "$best_name" "$best" "$ratio" "$spread" \
            "$check"
    fi
done

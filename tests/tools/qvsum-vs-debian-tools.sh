#!/usr/bin/env bash
# Checks qvsum.exe (run under Wine) against independent Debian tools on generated files: every algorithm
# with a Debian implementation, in all four display formats. MD2 has none here; its published vectors are
# checked by the unit tests.
#   qvsum-vs-debian-tools.sh QVSUM_EXE WINE_RUN BUILD_DIR
# Exit 0 when everything agrees, 1 on a difference, 77 (skipped) when a required tool is missing.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: $0 QVSUM_EXE WINE_RUN BUILD_DIR" >&2; exit 2; }
QVSUM="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
WINE_RUN="$2"
BUILD_DIR="$(cd "$3" && pwd)"

for tool in rhash md5sum sha1sum sha256sum sha384sum sha512sum; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

work="$(mktemp -d /tmp/quelvar-qvsum-check.XXXXXX)"
# The Wine prefix of the build that holds qvsum.
export QV_WINEPREFIX="${QV_WINEPREFIX:-$BUILD_DIR/wineprefix}"
# One wineserver serves all the runs below; stop it at the end unless a test driver owns it.
own_server=""
if [ -z "${QV_KEEP_WINESERVER:-}" ]; then
    export QV_KEEP_WINESERVER=1
    own_server=1
fi
cleanup() {
    [ -n "$own_server" ] && WINEPREFIX="$QV_WINEPREFIX" wineserver -k >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
"$WINE_RUN" --init >/dev/null 2>&1

# Empty, one byte, every read block size and its neighbours, the 32-byte GOST block, a few MiB of random data.
files=()
for size in 0 1 31 32 33 63 64 65 2047 2048 2049 4095 4096 4097 15999 16000 16001 32000 3145733; do
    head -c "$size" /dev/urandom >"$work/f$size"
    files+=("f$size")
done
printf 'abc' >"$work/abc"
files+=(abc)

reference() {  # algorithm file -> lowercase hex digest
    case "$1" in
        crc32) rhash --printf='%{crc32}' "$2" ;;
        gost) rhash --printf='%{gost94}' "$2" ;;
        md4) rhash --printf='%{md4}' "$2" ;;
        md5) md5sum "$2" | cut -d' ' -f1 ;;
        sha1) sha1sum "$2" | cut -d' ' -f1 ;;
        sha256) sha256sum "$2" | cut -d' ' -f1 ;;
        sha384) sha384sum "$2" | cut -d' ' -f1 ;;
        sha512) sha512sum "$2" | cut -d' ' -f1 ;;
    esac
}

display() {  # hex format -> the text qvsum shows in that format
    local text="$1"
    case "$2" in 2 | 4) text="$(echo "$text" | sed 's/../& /g; s/ $//')" ;; esac
    case "$2" in 3 | 4) text="$(echo "$text" | tr 'a-f' 'A-F')" ;; esac
    echo "$text"
}

failures=0
checks=0
cd "$work" || exit 1
for algorithm in crc32 gost md4 md5 sha1 sha256 sha384 sha512; do
    declare -A expected=()
    for f in "${files[@]}"; do expected[$f]="$(reference "$algorithm" "$f")"; done
    for format in 1 2 3 4; do
        output="$("$WINE_RUN" "$QVSUM" -a "$algorithm" -f "$format" "${files[@]}" 2>"$work/stderr")"
        status=$?
        if [ $status -ne 0 ]; then
            echo "FAIL: qvsum -a $algorithm -f $format exited with $status: $(cat "$work/stderr")"
            failures=$((failures + 1))
            continue
        fi
        for f in "${files[@]}"; do
            want="$(display "${expected[$f]}" "$format")  $f"
            got="$(grep -F "  $f" <<<"$output" | grep -E "  $f\$" | tr -d '\r')"
            checks=$((checks + 1))
            if [ "$got" != "$want" ]; then
                echo "FAIL: $algorithm format $format $f: qvsum '$got', expected '$want'"
                failures=$((failures + 1))
            fi
        done
    done
    unset expected
done

# A missing file: message on stderr, exit status 1, the other files still hashed.
output="$("$WINE_RUN" "$QVSUM" -a md5 abc missing-file 2>"$work/stderr")"
status=$?
checks=$((checks + 1))
if [ $status -ne 1 ] || ! grep -q "missing-file" "$work/stderr" || [ "$(tr -d '\r' <<<"$output")" != "900150983cd24fb0d6963f7d28e17f72  abc" ]; then
    echo "FAIL: missing file: status $status, stdout '$output', stderr '$(cat "$work/stderr")'"
    failures=$((failures + 1))
fi
# A bad algorithm name is a usage error.
"$WINE_RUN" "$QVSUM" -a sha3 abc >/dev/null 2>&1
status=$?
checks=$((checks + 1))
[ $status -eq 2 ] || { echo "FAIL: unknown algorithm gave status $status"; failures=$((failures + 1)); }

echo "$checks checks, $failures failures"
[ $failures -eq 0 ]

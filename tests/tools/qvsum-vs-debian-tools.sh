#!/usr/bin/env bash
# Checks qvsum.exe (run under Wine) against independent Debian tools on generated files: every algorithm
# with a Debian implementation, in all four display formats (MD2 has none here; its published vectors are
# checked by the unit tests), then checksum lists both ways: lists the Linux tools write, checked by
# qvsum --check with the same report, and lists qvsum -r writes, checked by the Linux tools.
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
# One display for all the runs: one started and stopped by each run would leave Wine complaining on stderr.
# shellcheck source=../../scripts/display.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/display.sh"
start_display
cleanup() {
    [ -n "$own_server" ] && WINEPREFIX="$QV_WINEPREFIX" wineserver -k >/dev/null 2>&1
    stop_display --keep-wineserver
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
            got="$(grep -E "(  $f|^$f [0-9A-F]{8})\$" <<<"$output" | tr -d '\r')"
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

# Checksum lists ------------------------------------------------------------------------------------------
# Runs a Linux check and qvsum with the given arguments; the reports on stdout, the exit statuses and, when
# a tool name is given, the messages on stderr (with "qvsum:" for the tool's name) must be the same.
agree() {  # LABEL TOOL|- "LINUX CHECK COMMAND" QVSUM_ARGUMENT...
    local label="$1" tool="$2" linux="$3" want want_status got got_status want_err="" got_err=""
    shift 3
    want="$(eval "$linux" 2>"$work/want.err")"
    want_status=$?
    got="$("$WINE_RUN" "$QVSUM" "$@" 2>"$work/got.err")"
    got_status=$?
    got="${got//$'\r'/}"
    if [ "$tool" != - ]; then
        want_err="$(sed "s/^$tool:/qvsum:/" "$work/want.err")"
        got_err="$(tr -d '\r' <"$work/got.err" | grep '^qvsum:')"
    fi
    checks=$((checks + 1))
    if [ -z "$want$want_err" ] || [ "$got" != "$want" ] || [ "$got_err" != "$want_err" ] ||
        [ $got_status -ne $want_status ]; then
        echo "FAIL: $label: qvsum $* exited with $got_status, $linux with $want_status"
        diff <(echo "$want"; echo "$want_err") <(echo "$got"; echo "$got_err") | sed 's/^/    /'
        failures=$((failures + 1))
    fi
}
# rhash's check report in the words of the coreutils tools.
rhash_check() {
    rhash "$@" | sed -n -e '/^Everything OK/d' -e 's/^\(.*[^ ]\)  *OK *$/\1: OK/p' -e 's/^\(.*[^ ]\)  *ERR *$/\1: FAILED/p' \
        -e 's/^\(.*[^ ]\)  *No such file or directory *$/\1: FAILED open or read/p'
    return "${PIPESTATUS[0]}"
}

mkdir -p "$work/tree/sub dir"
cd "$work/tree" || exit 1
names=("with space.txt" "ünïcødé ñ.txt" "sub dir/nested.txt" "Zed.txt")
for name in "${names[@]}"; do head -c $((RANDOM % 5000)) /dev/urandom >"$name"; done

# qvsum -> Linux tools: every file below the folder, named "tree/...", in the same order each time.
cd "$work" || exit 1
for algorithm in md5 sha1 sha256 sha384 sha512 gost crc32; do
    list="tree.$algorithm"
    checker=("${algorithm}sum" -c "$list")
    case "$algorithm" in
        gost) checker=(rhash_check --gost94 -c "$list") ;;
        crc32) checker=(rhash_check --crc32 -c "$list") ;;
    esac
    "$WINE_RUN" "$QVSUM" -a "$algorithm" -f 1 -r tree 2>/dev/null | tr -d '\r' >"$list"
    report="$("${checker[@]}" 2>&1)"
    status=$?
    listed="$(sed -E 's/^[0-9a-f]+  //; s/ [0-9A-F]{8}$//' "$list")"
    checks=$((checks + 1))
    if [ $status -ne 0 ] || [ "$(grep -c ': OK$' <<<"$report")" -ne ${#names[@]} ] ||
        [ "$listed" != "$(find tree -type f | LC_ALL=C sort -f)" ]; then
        echo "FAIL: qvsum -a $algorithm -r list, checked by ${checker[0]} (status $status):"
        { cat "$list"; echo "$report"; } | sed 's/^/    /'
        failures=$((failures + 1))
    fi
done

# Linux tools -> qvsum --check, with one file changed since the lists were made.
cd "$work/tree" || exit 1
for algorithm in md5 sha1 sha256 sha384 sha512; do "${algorithm}sum" "${names[@]}" >"l.$algorithm"; done
sha384sum --tag "${names[@]}" >tagged.list
rhash --gost94 "${names[@]}" >l.gost
rhash --sfv "${names[@]}" >l.sfv
rhash --bsd --gost94 "${names[@]}" >gost-tagged.list
printf 'changed' >>Zed.txt
for algorithm in md5 sha1 sha256 sha384 sha512; do
    agree "$algorithm list" "${algorithm}sum" "${algorithm}sum -c l.$algorithm" -c "l.$algorithm"
done
agree "BSD tagged list" sha384sum "sha384sum -c tagged.list" --check tagged.list
agree "GOST list" - "rhash_check --gost94 -c l.gost" -c l.gost
agree "SFV list" - "rhash_check -c l.sfv" -c l.sfv
agree "BSD tagged GOST list" - "rhash_check --gost94 -c gost-tagged.list" -c gost-tagged.list

# Names no Windows file can have: the report names them as sha256sum does, as files that cannot be read.
printf 1 >$'new\nline'
printf 2 >'back\slash'
sha256sum "with space.txt" $'new\nline' 'back\slash' Zed.txt >escaped.sha256
rm $'new\nline' 'back\slash'
echo "not a checksum line" >>escaped.sha256
for option in "" --quiet --status; do
    agree "names with escapes $option" sha256sum "sha256sum -c $option escaped.sha256" -c $option escaped.sha256
done
printf 'nothing\n' >nothing.sha256
agree "a list without entries" sha256sum "sha256sum -c nothing.sha256" -c nothing.sha256

echo "$checks checks, $failures failures"
[ $failures -eq 0 ]

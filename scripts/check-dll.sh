#!/usr/bin/env bash
# Checks a built module with objdump: the machine type (i386 or x86-64); that every DLL it imports is a system
# DLL that every Windows has, so the module loads in any process with nothing beside it; that the DLLs only a
# rare command needs (WinINet, MPR) are not in its import table, so loading the module does not load them
# (they are delay-loaded); and that it exports exactly the entry points src/server/Quelvar.def lists.
#   check-dll.sh <module.dll> <i386|x86-64>
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
module="$1"
machine="$2"
case "$machine" in
    i386) objdump=i686-w64-mingw32-objdump ;;
    x86-64) objdump=x86_64-w64-mingw32-objdump ;;
    *) echo "unknown machine $machine" >&2; exit 2 ;;
esac
dump="$("$objdump" -p "$module")"
format="$(echo "$dump" | sed -n 's/.*file format \(pei-[a-z0-9-]*\).*/\1/p' | head -n1)"
if [ "$format" != "pei-$machine" ]; then
    echo "FAIL $module: file format $format, expected pei-$machine" >&2
    exit 1
fi
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll "
system_dlls+="oleaut32.dll rpcrt4.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll "
delayed_dlls=" mpr.dll wininet.dll "
status=0
imports="$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)"
[ -n "$imports" ] || { echo "FAIL $module: no imports found" >&2; exit 1; }
for dll in $imports; do
    case "$system_dlls" in
        *" $dll "*) continue ;;
    esac
    case "$delayed_dlls" in
        *" $dll "*) echo "FAIL $module imports $dll at load time; it must be delay-loaded" >&2 ;;
        *) echo "FAIL $module imports $dll, which is not a system DLL" >&2 ;;
    esac
    status=1
done
# The export table's names, against the .def file's list.
expected="$(sed -n '/^EXPORTS/,$p' "$ROOT/src/server/Quelvar.def" | sed '1d' | awk 'NF { print $1 }' | sort)"
exports="$(echo "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)"
if [ "$exports" != "$expected" ]; then
    echo "FAIL $module exports $(echo "$exports" | wc -l) names; expected exactly: $(echo $expected)" >&2
    comm -23 <(echo "$exports") <(echo "$expected") | head -n5 | sed 's/^/    unexpected: /' >&2
    comm -13 <(echo "$exports") <(echo "$expected") | sed 's/^/    missing: /' >&2
    status=1
fi
[ $status -eq 0 ] && echo "$module: $format, imports only system DLLs: $(echo $imports);" \
    "exports only $(echo $expected)"
exit $status

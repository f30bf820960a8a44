#!/usr/bin/env bash
# Checks a built module with objdump: the machine type (i386 or x86-64) and that every DLL it imports is
# a system DLL that every Windows has, so the module loads in any process with nothing beside it.
#   check-dll.sh <module.dll> <i386|x86-64>
set -euo pipefail
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
system_dlls=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll mpr.dll msvcrt.dll ole32.dll "
system_dlls+="oleaut32.dll rpcrt4.dll shell32.dll shlwapi.dll user32.dll uxtheme.dll version.dll wininet.dll "
status=0
imports="$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)"
[ -n "$imports" ] || { echo "FAIL $module: no imports found" >&2; exit 1; }
for dll in $imports; do
    case "$system_dlls" in
        *" $dll "*) ;;
        *) echo "FAIL $module imports $dll, which is not a system DLL" >&2; status=1 ;;
    esac
done
[ $status -eq 0 ] && echo "$module: $format, imports only system DLLs: $(echo $imports)"
exit $status

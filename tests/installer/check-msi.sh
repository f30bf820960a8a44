#!/usr/bin/env bash
# The MSI in a fresh Wine prefix, the way deployment tools run it. First the reference: both modules are
# copied to the folders the MSI uses and registered with regsvr32 (64-bit and 32-bit), and every registry
# entry that DllRegisterServer added, in both views, is recorded; then unregistered and deleted again. Then
# msiexec /i /qn must add exactly the same entries (key by key, value by value, in both views), the files and
# the "Programs and Features" entry; msiexec /x /qn must take away everything it added and leave the
# user's Data.qvd.
#   check-msi.sh <Quelvar-x.y.z.w-x64.msi> <work folder> <64-bit bin folder> <32-bit bin folder>
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
msi="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work="$2"
# shellcheck source=fresh-prefix.sh
source "$ROOT/tests/installer/fresh-prefix.sh"

# snapshot <name>: the classes, the approved shell extensions and the uninstall entries, in both views.
snapshot() {
    local files=()
    for view in 64 32; do
        local i=0
        for key in 'HKLM\Software\Classes' 'HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions' \
            'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
            local file="$work/$1-$view-$i.reg"
            rm -f "$file"
            "$WINE" reg export "$key" "$(winepath -w "$file")" "/reg:$view" /y >/dev/null 2>&1
            files+=("$file")
            i=$((i + 1))
        done
        # The view is part of each entry.
        python3 "$ROOT/tests/installer/reg-entries.py" "${files[@]: -3}" | sed "s/^/$view\t/"
    done | sort >"$work/$1.entries"
}
# added <before> <after>: entries in after but not in before, without Windows Installer's own database of
# products (which an MSI leaves to the system) and, with a third argument, without the uninstall entry.
added() {
    comm -13 "$work/$1.entries" "$work/$2.entries" | grep -v -i -e '\\classes\\installer' |
        if [ -n "${3:-}" ]; then grep -v -i -e '\\uninstall\\{'; else cat; fi || true
}

drive_c="$WINEPREFIX/drive_c"
pf64="$drive_c/Program Files/Quelvar"
pf32="$drive_c/Program Files (x86)/Quelvar"
bin64="$3" bin32="$4"
appdata="$(winepath -u "$("$WINE" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)"
mkdir -p "$appdata/Quelvar"
echo "favorites of the user" >"$appdata/Quelvar/Data.qvd"

echo "== the reference: what DllRegisterServer of each module writes"
mkdir -p "$pf64" "$pf32"
cp "$bin64/Quelvar.dll" "$pf64/" && cp "$bin32/Quelvar.dll" "$pf32/"
expect "regsvr32 (64-bit)" run regsvr32 /s 'C:\Program Files\Quelvar\Quelvar.dll'
expect "regsvr32 (32-bit)" run 'C:\windows\syswow64\regsvr32.exe' /s 'C:\Program Files (x86)\Quelvar\Quelvar.dll'
snapshot registered
run regsvr32 /s /u 'C:\Program Files\Quelvar\Quelvar.dll'
run 'C:\windows\syswow64\regsvr32.exe' /s /u 'C:\Program Files (x86)\Quelvar\Quelvar.dll'
rm -rf "$pf64" "$pf32"
# Against the state after unregistering, so that the parent keys registration keeps (ShellEx,
# ContextMenuHandlers, ...) count on neither side.
snapshot before-msi
added before-msi registered >"$work/reference.added"
expect "DllRegisterServer added entries" test -s "$work/reference.added"

echo "== msiexec /i /qn"
expect "msiexec /i /qn" run msiexec /i "$(winepath -w "$msi")" /qn
snapshot installed
added before-msi installed no-entry >"$work/msi.added"
# Key by key: every entry DllRegisterServer writes, and nothing else, in both views.
while IFS= read -r entry; do
    grep -qxF -- "$entry" "$work/msi.added" || fail "MSI lacks $(tr '\t' ' ' <<<"$entry")"
done <"$work/reference.added"
while IFS= read -r entry; do
    grep -qxF -- "$entry" "$work/reference.added" || fail "MSI adds $(tr '\t' ' ' <<<"$entry")"
done <"$work/msi.added"
cmp -s "$work/reference.added" "$work/msi.added" && pass "the MSI writes exactly what DllRegisterServer writes ($(wc -l <"$work/msi.added") entries in both views)"
for f in Quelvar.dll qvsum.exe Quelvar.chm History.txt Quelvar.msix Assets/StoreLogo.png Assets/Square150x150Logo.png \
    Assets/Square44x44Logo.png; do expect "file $f" test -f "$pf64/$f"; done
for f in Quelvar.dll Quelvar.chm History.txt; do expect "32-bit folder: $f" test -f "$pf32/$f"; done
expect "64-bit module installed" bash "$ROOT/scripts/check-dll.sh" "$pf64/Quelvar.dll" x86-64
expect "32-bit module installed" bash "$ROOT/scripts/check-dll.sh" "$pf32/Quelvar.dll" i386
version="$(sed -n 's/.*project(Quelvar VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
entry="$(comm -13 "$work/before-msi.entries" "$work/installed.entries" | grep -i '^64.*\\uninstall\\{' || true)"
expect "Programs and Features: DisplayName" grep -qiP '\tdisplayname\t"Quelvar"$' <<<"$entry"
expect "Programs and Features: DisplayVersion" grep -qiP "\tdisplayversion\t\"$version\"\$" <<<"$entry"
expect "Programs and Features: Publisher" grep -qiP '\tpublisher\t"Quelvar"$' <<<"$entry"
product_key="$(head -n1 <<<"$entry" | cut -f2 | sed 's/^hkey_local_machine/HKLM/')"
uninstall_string="$("$WINE" reg query "$product_key" /v UninstallString /reg:64 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_[A-Z_]*  *//p')"
expect "Programs and Features: UninstallString $uninstall_string" grep -qiP '^MsiExec.exe /X\{' <<<"$uninstall_string"

echo "== msiexec /x /qn"
expect "msiexec /x /qn" run msiexec /x "$(winepath -w "$msi")" /qn
snapshot removed
added before-msi removed >"$work/left.added"
expect "no registry entry left behind" test ! -s "$work/left.added"
head -n 20 "$work/left.added"
expect_not "64-bit folder removed" test -e "$pf64"
expect_not "32-bit folder removed" test -e "$pf32"
expect "Data.qvd kept" test -f "$appdata/Quelvar/Data.qvd"
echo "MSI check: $failures failure(s)"
[ $failures -eq 0 ]

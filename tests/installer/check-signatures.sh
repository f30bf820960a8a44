#!/usr/bin/env bash
# Every file the build ships carries a valid Authenticode signature (SHA-256) that leads to the build's
# certificate: Quelvar.dll and qvsum.exe of both builds, the installer, the MSI, and the uninstaller that the
# installer writes at install time (installed for the current user in a fresh Wine prefix). A copy with one
# byte changed must fail, so the check cannot pass by accident. The server tests register and drive the same
# signed build/bin/Quelvar.dll through COM.
#   check-signatures.sh <64-bit build folder> <32-bit build folder> <setup.exe> <msi>
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build64="$(cd "$1" && pwd)" build32="$(cd "$2" && pwd)" setup="$3" msi="$4"
work="$build64/signature-check"
rm -rf "$work/files" && mkdir -p "$work/files"
failures=0
pass() { echo "ok   $1"; }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }

# Trust only the build's own certificates (the throwaway ones); a configured certificate is checked
# against the system's trusted roots.
cafile="$work/trusted.pem"
cat "$build64"/signing/throwaway-cert.pem "$build32"/signing/throwaway-cert.pem >"$cafile" 2>/dev/null
[ -s "$cafile" ] || cafile=/etc/ssl/certs/ca-certificates.crt
verify() {  # verify <file> <what>
    local out
    out="$(osslsigncode verify -CAfile "$cafile" -ignore-crl -ignore-cdp -in "$1" 2>&1)"
    if [ $? -eq 0 ] && grep -q "Signature verification: ok" <<<"$out" && grep -qi "digest algorithm *: *SHA256" <<<"$out"; then
        pass "$2 signed (SHA-256) and verified"
    else
        fail "$2: $(grep -iE 'error|failed|digest algorithm' <<<"$out" | head -n3 | tr '\n' ' ')"
    fi
}
verify "$build64/bin/Quelvar.dll" "64-bit Quelvar.dll"
verify "$build64/bin/qvsum.exe" "64-bit qvsum.exe"
verify "$build32/bin/Quelvar.dll" "32-bit Quelvar.dll"
verify "$build32/bin/qvsum.exe" "32-bit qvsum.exe"
verify "$setup" "installer $(basename "$setup")"
verify "$msi" "MSI $(basename "$msi")"

# One changed byte in the middle of the code breaks the signature.
cp "$build64/bin/Quelvar.dll" "$work/files/tampered.dll"
size=$(stat -c %s "$work/files/tampered.dll")
printf '\x5a' | dd of="$work/files/tampered.dll" bs=1 seek=$((size / 2)) conv=notrunc status=none
if osslsigncode verify -CAfile "$cafile" -ignore-crl -ignore-cdp -in "$work/files/tampered.dll" >/dev/null 2>&1; then
    fail "a changed Quelvar.dll still verifies"
else
    pass "a changed Quelvar.dll fails verification"
fi

# The uninstaller exists only once the installer has run: install for the current user in a prefix of
# its own, check what it wrote, and remove it again.
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64
# shellcheck source=prefix-cleanup.sh
source "$ROOT/tests/installer/prefix-cleanup.sh"
# shellcheck source=../../scripts/windows-version.sh
source "$ROOT/scripts/windows-version.sh"
[ -d "$WINEPREFIX/drive_c" ] || { "$WINE" wineboot -i >/dev/null 2>&1; wineserver -w; set_windows_build 19045; }
"$WINE" "$setup" /S /CURRENTUSER >/dev/null 2>&1
wineserver -w
localappdata="$(winepath -u "$("$WINE" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)"
installed="$localappdata/Programs/Quelvar"
if [ -f "$installed/Uninstall.exe" ]; then
    verify "$installed/Uninstall.exe" "installed Uninstall.exe"
    verify "$installed/Quelvar.dll" "installed 64-bit Quelvar.dll"
    verify "$installed/x86/Quelvar.dll" "installed 32-bit Quelvar.dll"
    "$WINE" "$installed/Uninstall.exe" /S >/dev/null 2>&1
    wineserver -w
else
    fail "the installer wrote no Uninstall.exe"
fi
echo "signature check: $failures failure(s)"
[ $failures -eq 0 ]

#!/usr/bin/env bash
# The installer in a fresh Wine prefix (64-bit, with the 32-bit side): a silent install for all users
# registers both modules (the keys of both registry scripts in both registry views), stamps them with the
# project's version and adds the "Programs and Features" entry; the silent uninstall removes every key and
# file it added and touches nothing in the user's data folder. Then the same for the current user alone:
# only keys below HKEY_CURRENT_USER, and an uninstall with /REMOVEDATA takes the whole data folder; an
# uninstall while a program holds the module renames it aside for a RunOnce entry and the next install.
#   check-installer.sh <setup.exe> <work folder>
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
setup="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work="$2"
# shellcheck source=fresh-prefix.sh
source "$ROOT/tests/installer/fresh-prefix.sh"
# value <key> <name or ""> <32|64>: the data of a value, "" when it is missing.
value() {
    local args=(reg query "$1" "/reg:$3")
    if [ -n "$2" ]; then args+=(/v "$2"); else args+=(/ve); fi
    "$WINE" "${args[@]}" 2>/dev/null | tr -d '\r' | sed -n 's/^ *[^ ].*  *REG_[A-Z_]*  *//p' | head -n1
}
key_exists() { "$WINE" reg query "$1" "/reg:$2" >/dev/null 2>&1; }

clsid='{6F41C2A8-93D0-4B7E-8C15-2E9A7D3B5F60}'
appid='{A3E5B7C9-1D2F-4A6B-9C8E-7F0D1B2C3E4A}'
approved='Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
uninstall='Software\Microsoft\Windows\CurrentVersion\Uninstall\Quelvar'
# The class and its AppID have a key in each view; the handler keys below the file classes are one key
# that 32-bit and 64-bit programs share (Windows redirects only a few subkeys of the classes, CLSID among
# them), so they are looked for in the 64-bit view.
class_keys=("CLSID\\$clsid" "CLSID\\$clsid\\InprocServer32" "AppID\\$appid" 'AppID\Quelvar.DLL')
handler_keys=()
for parent in lnkfile '*' Folder 'Directory\Background' Directory Drive InternetShortcut; do
    handler_keys+=("$parent\\ShellEx\\ContextMenuHandlers\\Quelvar")
done
drive_c="$WINEPREFIX/drive_c"
appdata="$(winepath -u "$("$WINE" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)"
localappdata="$(winepath -u "$("$WINE" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')" 2>/dev/null)"
# What a user's data folder may hold: the data file, the downloaded history, an unfinished write and two
# damaged copies (which still hold favorites).
data_files=(Data.qvd history.txt Data.qvd.tmp Data.qvd.damaged Data.qvd.damaged-2)
mkdir -p "$appdata/Quelvar"
for f in "${data_files[@]}"; do echo "$f of the user" >"$appdata/Quelvar/$f"; done

# check_registered <classes root> <64-bit module> <32-bit module> <approved root>
check_registered() {
    local classes="$1" module64="$2" module32="$3" root="$4"
    for view in 64 32; do
        local module="$module64"
        [ "$view" = 32 ] && module="$module32"
        for k in "${class_keys[@]}"; do expect "$view-bit view: $classes\\$k" key_exists "$classes\\$k" $view; done
        local server
        server="$(value "$classes\\CLSID\\$clsid\\InprocServer32" "" $view)"
        if [ "$view" = 32 ] && [ "$classes" = 'HKCU\Software\Classes' ] && user_classes_shared; then
            echo "WINE $view-bit view: InprocServer32 not checked: here 32-bit and 64-bit programs share" \
                "HKCU\Software\Classes\CLSID (Windows keeps a 32-bit copy), so the 64-bit registration," \
                "which comes last, left $server"
        else
            expect "$view-bit view: InprocServer32 is $module (found $server)" test "$server" = "$module"
        fi
        expect "$view-bit view: $root approved value" test "$(value "$root\\$approved" "$clsid" $view)" = Quelvar
    done
    for k in "${handler_keys[@]}"; do expect "$classes\\$k" key_exists "$classes\\$k" 64; done
}

# Whether a key written by a 32-bit program below HKCU\Software\Classes\CLSID shows to 64-bit programs.
user_classes_shared() {
    local probe='HKCU\Software\Classes\CLSID\{0D1E2F30-4150-4657-8899-AABBCCDDEEFF}'
    "$WINE" reg add "$probe" /reg:32 /f >/dev/null 2>&1
    local shared=1
    key_exists "$probe" 64 || shared=""
    "$WINE" reg delete "$probe" /reg:32 /f >/dev/null 2>&1
    "$WINE" reg delete "$probe" /reg:64 /f >/dev/null 2>&1
    [ -n "$shared" ]
}

check_removed() {
    local classes="$1" root="$2"
    for view in 64 32; do
        for k in "${class_keys[@]}" "${handler_keys[@]}"; do
            expect_not "$view-bit view: $classes\\$k removed" key_exists "$classes\\$k" $view
        done
        expect_not "$view-bit view: approved value removed" test -n "$(value "$root\\$approved" "$clsid" $view)"
    done
    expect_not "uninstall entry removed" key_exists "$root\\$uninstall" 64
}

check_data_kept() {
    for f in "${data_files[@]}"; do
        expect "data folder untouched: $f" test "$(cat "$appdata/Quelvar/$f" 2>/dev/null)" = "$f of the user"
    done
}

check_entry() {
    local root="$1" folder="$2"
    expect "Programs and Features: DisplayVersion" test "$(value "$root\\$uninstall" DisplayVersion 64)" = "$VERSION"
    expect "Programs and Features: Publisher" test "$(value "$root\\$uninstall" Publisher 64)" = Quelvar
    expect "Programs and Features: UninstallString" test "$(value "$root\\$uninstall" UninstallString 64)" = "\"$folder\\Uninstall.exe\""
}

VERSION="$(sed -n 's/.*project(Quelvar VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"

echo "== for all users"
expect "setup /S /ALLUSERS" run "$setup" /S /ALLUSERS
pf64="$drive_c/Program Files/Quelvar"
pf32="$drive_c/Program Files (x86)/Quelvar"
for f in Quelvar.dll Quelvar.chm History.txt qvsum.exe Quelvar.msix Uninstall.exe; do expect "file $f" test -f "$pf64/$f"; done
expect "32-bit file Quelvar.dll" test -f "$pf32/Quelvar.dll"
expect "64-bit module installed" bash "$ROOT/scripts/check-dll.sh" "$pf64/Quelvar.dll" x86-64
expect "32-bit module installed" bash "$ROOT/scripts/check-dll.sh" "$pf32/Quelvar.dll" i386
for bits in 64 32; do
    module="$pf64/Quelvar.dll"
    [ $bits = 32 ] && module="$pf32/Quelvar.dll"
    expect "$bits-bit module's version resource says $VERSION" \
        bash -c 'strings -el "$1" | grep -qx "$2"' _ "$module" "$VERSION"
done
check_registered 'HKLM\Software\Classes' 'C:\Program Files\Quelvar\Quelvar.dll' \
    'C:\Program Files (x86)\Quelvar\Quelvar.dll' HKLM
check_entry HKLM 'C:\Program Files\Quelvar'
expect "uninstall /S" run "$pf64/Uninstall.exe" /S
check_removed 'HKLM\Software\Classes' HKLM
check_data_kept
expect_not "64-bit folder removed" test -e "$pf64"
expect_not "32-bit folder removed" test -e "$pf32"

echo "== for the current user"
expect "setup /S /CURRENTUSER" run "$setup" /S /CURRENTUSER
userdir="$localappdata/Programs/Quelvar"
userdir_windows="$("$WINE" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')\\Programs\\Quelvar"
for f in Quelvar.dll Quelvar.chm History.txt qvsum.exe Quelvar.msix Uninstall.exe x86/Quelvar.dll; do
    expect "file $f" test -f "$userdir/$f"
done
check_registered 'HKCU\Software\Classes' "$userdir_windows\\Quelvar.dll" "$userdir_windows\\x86\\Quelvar.dll" HKCU
check_entry HKCU "$userdir_windows"
for view in 64 32; do
    for k in "${class_keys[@]}" "${handler_keys[@]}"; do
        expect_not "$view-bit view: nothing for the machine: $k" key_exists "HKLM\\Software\\Classes\\$k" $view
    done
    expect_not "$view-bit view: no machine approved value" test -n "$(value "HKLM\\$approved" "$clsid" $view)"
done
expect_not "no machine uninstall entry" key_exists "HKLM\\$uninstall" 64
expect "uninstall /S /REMOVEDATA" run "$userdir/Uninstall.exe" /S /REMOVEDATA
check_removed 'HKCU\Software\Classes' HKCU
expect_not "folder removed" test -e "$userdir"
expect_not "data folder removed with everything in it" test -e "$appdata/Quelvar"

echo "== for the current user, while a program holds the module"
# A stand-in for Explorer: keeps the module loaded until it is told to go.
holder="$work/hold.exe"
if printf '%s\n' '#include <windows.h>' \
    'int wmain(int c, wchar_t** v) { (void)c; if (!LoadLibraryExW(v[1], 0, DONT_RESOLVE_DLL_REFERENCES)) return 1;' \
    '  while (GetFileAttributesW(v[2]) != INVALID_FILE_ATTRIBUTES) Sleep(50); return 0; }' |
    x86_64-w64-mingw32-gcc -municode -x c -o "$holder" - 2>/dev/null; then
    expect "setup /S /CURRENTUSER" run "$setup" /S /CURRENTUSER
    touch "$work/holding"
    "$WINE" "$(winepath -w "$holder")" "$userdir_windows\Quelvar.dll" "$(winepath -w "$work/holding")" &
    sleep 3
    "$WINE" "$userdir/Uninstall.exe" /S >/dev/null 2>&1
    # The uninstaller goes on in a copy of itself; the RunOnce entry is its last step for the modules.
    for _ in $(seq 120); do
        [ -n "$(value 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' 'Quelvar leftovers' 64)" ] && break
        sleep 0.5
    done
    sleep 2
    expect_not "held module unregistered" key_exists "HKCU\Software\Classes\CLSID\$clsid" 64
    expect_not "held module no longer under its name" test -e "$userdir/Quelvar.dll"
    expect "held module renamed aside" compgen -G "$userdir/*.removed"
    runonce="$(value 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' 'Quelvar leftovers' 64)"
    expect "RunOnce entry deletes the leftovers at the next sign-in" test -n "$runonce"
    rm -f "$work/holding"
    wineserver -w
    expect "the next install deletes the leftovers" run "$setup" /S /CURRENTUSER
    expect_not "no leftovers after the next install" compgen -G "$userdir/*.removed"
    expect "uninstall /S" run "$userdir/Uninstall.exe" /S
    expect_not "folder removed" test -e "$userdir"
else
    echo "SKIP held module: no x86_64-w64-mingw32-gcc to build the program that holds it"
fi

echo "installer check: $failures failure(s)"
[ $failures -eq 0 ]

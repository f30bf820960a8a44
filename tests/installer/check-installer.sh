#!/usr/bin/env bash
# The installer in a fresh Wine prefix (64-bit, with the 32-bit side): a silent install for all users
# registers both modules (the keys of both registry scripts in both registry views), stamps them with the
# project's version and adds the "Programs and Features" entry; the silent uninstall removes every key and
# file it added and touches nothing in the user's data folder. Then the same for the current user alone:
# only keys below HKEY_CURRENT_USER, and an uninstall with /REMOVEDATA takes Quelvar's files from the data
# folder and nothing through a link in it; an
# uninstall while a program holds the module renames it aside for a RunOnce entry and the next install.
# All of that on Windows 10 22H2, where the setup runs no PowerShell. Then on Windows 11, with a stand-in
# for PowerShell that records each command: the package registered for one user, again over that
# registration from a folder whose name holds a space, an apostrophe, a comma and non-ASCII letters, for
# all users, and removed again by both uninstalls.
# Last, setups built to answer as ARM64 Windows and as an account without administrator rights would.
#   check-installer.sh <setup.exe> <work folder> <stand-in powershell.exe> <folder of the stand-in setups>
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
setup="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
work="$2"
standin="$3"
standins="$4"
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

# What programs of both bitnesses see as the Windows version (RtlGetVersion and the shared data page);
# the setup itself says in its log which build it found.
probe64="$work/windows-version.exe"
probe32="$work/windows-version32.exe"
x86_64-w64-mingw32-gcc -o "$probe64" "$ROOT/tests/installer/windows-version.c" 2>/dev/null
i686-w64-mingw32-gcc -o "$probe32" "$ROOT/tests/installer/windows-version.c" 2>/dev/null
check_windows() {
    local want="10.0.$1 10.0.$1" seen64 seen32
    seen64="$("$WINE" "$probe64" | tr -d '\r')"
    seen32="$(/usr/lib/wine/wine "$probe32" | tr -d '\r')"
    expect "64-bit programs see Windows $want (saw $seen64)" test "$seen64" = "$want"
    expect "32-bit programs see Windows $want (saw $seen32)" test "$seen32" = "$want"
}
check_windows 19045
# The stand-in answers for the native PowerShell and for the 32-bit one, and says which ran.
for dir in system32 syswow64; do cp "$standin" "$drive_c/windows/$dir/WindowsPowerShell/v1.0/powershell.exe"; done
record="$work/powershell.txt"
QV_POWERSHELL_RECORD="$(winepath -w "$record" 2>/dev/null)"
export QV_POWERSHELL_RECORD
: >"$record"
# It refuses what an earlier setup handed over: its command cut at the first quotation mark.
expect_not "the stand-in refuses a command cut short" "$WINE" "$standin" -NoProfile -NonInteractive -ExecutionPolicy \
    Bypass -Command "\$ErrorActionPreference = 'Stop'; Add-AppxPackage -Path (Join-Path \$env:QUELVAR_FOLDER "
expect "... and says why" grep -q "MALFORMED: unbalanced" "$record"
: >"$record"

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
# A link in the data folder to a folder of the user's: Wine shows it as a plain folder, so only deleting
# nothing but Quelvar's own file names keeps what it points to.
mkdir -p "$work/elsewhere" && echo "the user's" >"$work/elsewhere/keep.txt"
ln -s "$work/elsewhere" "$appdata/Quelvar/link"
expect "uninstall /S /REMOVEDATA" run "$userdir/Uninstall.exe" /S /REMOVEDATA
check_removed 'HKCU\Software\Classes' HKCU
expect_not "folder removed" test -e "$userdir"
for f in "${data_files[@]}"; do expect_not "data file removed: $f" test -e "$appdata/Quelvar/$f"; done
expect "a folder linked from the data folder keeps its files" test -f "$work/elsewhere/keep.txt"
rm -f "$appdata/Quelvar/link"
rmdir "$appdata/Quelvar"

# Starts a command line as it stands, as Explorer starts a RunOnce entry (no shell, no quoting added),
# and passes its exit status on: NSIS takes /D= only unquoted and last.
launcher="$work/launch.exe"
printf '%s\n' '#include <windows.h>' \
    'int wmain(int c, wchar_t** v) { STARTUPINFOW s = {sizeof(s)}; PROCESS_INFORMATION p; DWORD code = 1;' \
    '  if (c < 2 || !CreateProcessW(0, v[1], 0, 0, 0, 0, 0, 0, &s, &p)) return 1;' \
    '  WaitForSingleObject(p.hProcess, INFINITE); GetExitCodeProcess(p.hProcess, &code); return (int)code; }' |
    x86_64-w64-mingw32-gcc -municode -x c -o "$launcher" - 2>/dev/null
setup_windows="$(winepath -w "$setup")"

echo "== for the current user, while a program holds the module"
# A stand-in for Explorer: keeps the module loaded until it is told to go.
holder="$work/hold.exe"
if printf '%s\n' '#include <windows.h>' \
    'int wmain(int c, wchar_t** v) { (void)c; if (!LoadLibraryExW(v[1], 0, DONT_RESOLVE_DLL_REFERENCES)) return 1;' \
    '  while (GetFileAttributesW(v[2]) != INVALID_FILE_ATTRIBUTES) Sleep(50); return 0; }' |
    x86_64-w64-mingw32-gcc -municode -x c -o "$holder" - 2>/dev/null; then
    # hold_and_uninstall <folder> <Windows folder>: uninstalls while the module is held, then lets it go;
    # leaves the RunOnce command in $runonce.
    hold_and_uninstall() {
        touch "$work/holding"
        "$WINE" "$(winepath -w "$holder")" "$2\Quelvar.dll" "$(winepath -w "$work/holding")" &
        sleep 3
        "$WINE" "$2\\Uninstall.exe" /S >/dev/null 2>&1
        # The uninstaller goes on in a copy of itself; the RunOnce entry is its last step for the modules.
        for _ in $(seq 120); do
            [ -n "$(value 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' 'Quelvar leftovers' 64)" ] && break
            sleep 0.5
        done
        sleep 2
        expect_not "held module unregistered" key_exists "HKCU\Software\Classes\CLSID\$clsid" 64
        expect_not "held module no longer under its name" test -e "$1/Quelvar.dll"
        expect "held module renamed aside" compgen -G "$1/*.removed"
        runonce="$(value 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' 'Quelvar leftovers' 64)"
        "$WINE" reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v 'Quelvar leftovers' /f >/dev/null 2>&1
        expect "RunOnce entry for the next sign-in, within its 260 characters (${#runonce})" \
            test -n "$runonce" -a "${#runonce}" -lt 260
        rm -f "$work/holding"
        wineserver -w
    }
    # run_once: what Windows does at the next sign-in: the entry's program, started without a shell.
    run_once() { run "$launcher" "$runonce"; }
    # A folder cmd would read a variable in, too long for RunOnce when named in full (230 characters).
    long_windows="C:\Quelvar %TEMP% & Co\\$(printf 'Leftovers%.0s' $(seq 23))"
    long="$drive_c/Quelvar %TEMP% & Co/$(printf 'Leftovers%.0s' $(seq 23))"
    expect "setup /S /CURRENTUSER /D=<${#long_windows} characters>" \
        run "$launcher" "\"$setup_windows\" /S /CURRENTUSER /D=$long_windows"
    expect "installed into the long folder" test -f "$long/Quelvar.dll"
    hold_and_uninstall "$long" "$long_windows"
    expect "the RunOnce entry deletes the leftovers and the folders" run_once
    expect_not "long folder removed" test -e "$long"
    expect "setup /S /CURRENTUSER" run "$setup" /S /CURRENTUSER
    hold_and_uninstall "$userdir" "$userdir_windows"
    expect "the next install deletes the leftovers" run "$setup" /S /CURRENTUSER
    expect_not "no leftovers after the next install" compgen -G "$userdir/*.removed"
    run_once
    expect "a RunOnce entry left from before keeps the new installation" test -f "$userdir/Uninstall.exe"
    expect "uninstall /S" run "$userdir/Uninstall.exe" /S
    expect_not "folder removed" test -e "$userdir"
else
    echo "SKIP held module: no x86_64-w64-mingw32-gcc to build the program that holds it"
fi

expect "Windows 10: no PowerShell command at all" test ! -s "$record"

echo "== Windows 11"
set_windows_build 22631
check_windows 22631
family="$(cat "$(dirname "$setup")/package/FamilyName.txt" 2>/dev/null)"
expect "the build names the package's family" test -n "$family"
stop="\$ErrorActionPreference = 'Stop'; "
msix="(Join-Path \$env:QUELVAR_FOLDER 'Quelvar.msix')"
remove_user="${stop}Get-AppxPackage -Name 'Quelvar.ContextMenu' | Remove-AppxPackage"
add_user="${stop}Add-AppxPackage -Path $msix -ExternalLocation \$env:QUELVAR_FOLDER"
remove_provisioned="${stop}Get-AppxProvisionedPackage -Online | Where-Object DisplayName -EQ 'Quelvar.ContextMenu' | Remove-AppxProvisionedPackage -Online"
remove_all="${stop}Get-AppxPackage -AllUsers -Name 'Quelvar.ContextMenu' | Remove-AppxPackage -AllUsers"
stage="${stop}Add-AppxPackage -Path $msix -ExternalLocation \$env:QUELVAR_FOLDER -Stage"
provision="${stop}Add-Type -AssemblyName System.Runtime.WindowsRuntime; \$manager = [Windows.Management.Deployment.PackageManager, Windows.Management.Deployment, ContentType = WindowsRuntime]::new(); \$asTask = [System.WindowsRuntimeSystemExtensions].GetMethods() | Where-Object { \$_.Name -eq 'AsTask' -and \$_.GetParameters().Count -eq 1 -and \$_.GetGenericArguments().Count -eq 2 } | Select-Object -First 1; \$operation = \$manager.ProvisionPackageForAllUsersAsync('$family'); \$task = \$asTask.MakeGenericMethod([Windows.Management.Deployment.DeploymentResult], [Windows.Management.Deployment.DeploymentProgress]).Invoke(\$null, @(\$operation)); \$result = \$task.GetAwaiter().GetResult(); if (\$result.ExtendedErrorCode) { throw \$result.ErrorText }"
native='C:\windows\system32\WindowsPowerShell\v1.0\powershell.exe'
log="$(winepath -u "$("$WINE" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')" 2>/dev/null)/Quelvar-Setup.log"

# Each row runs a setup or uninstaller, then checks that the native PowerShell ran exactly these commands,
# in this order, each whole and with the install folder in QUELVAR_FOLDER, and which registrations are left.
#   row <what> <folder> <registrations left> <command>... -- <program and arguments>
row() {
    local what="$1" folder="$2" left="$3" expected="" recorded
    shift 3
    while [ "$1" != -- ]; do expected+="$native|$1|$folder|ok"$'\n'; shift; done
    shift
    : >"$record"
    expect "$what" run "$@"
    recorded="$(tr -d '\r' <"$record")"$'\n'
    if [ "$recorded" = "$expected" ]; then pass "$what: the PowerShell commands expected"; else
        fail "$what: PowerShell commands"
        diff <(printf '%s' "$expected") <(printf '%s' "$recorded") | sed 's/^/     /'
    fi
    expect "$what: registrations left: ${left:-none}" test "$(sort "$record.state" | paste -sd';')" = "$left"
}
# A folder whose name a command could trip over, if it were written into one.
odd_windows="C:\\Prögram Fïles\\O'Brien, Quelvar"
odd="$drive_c/Prögram Fïles/O'Brien, Quelvar"
pf_windows='C:\Program Files\Quelvar'
: >"$log"
row "per-user install" "$userdir_windows" "user $userdir_windows" "$remove_user" "$add_user" -- "$setup" /S /CURRENTUSER
for f in Square150x150Logo.png Square44x44Logo.png StoreLogo.png; do
    expect "logo beside the module: $f" test -f "$userdir/Assets/$f"
done
expect "log: each step's outcome" grep -a -q "register for this user: done" <(iconv -f UTF-16LE -t UTF-8 "$log")
expect "log: Explorer shows it after it restarts" grep -a -q "after it restarts" <(iconv -f UTF-16LE -t UTF-8 "$log")
row "upgrade into $odd_windows" "$odd_windows" "user $odd_windows" "$remove_user" "$add_user" -- \
    "$launcher" "\"$setup_windows\" /S /CURRENTUSER /D=$odd_windows"
row "per-user uninstall" "$odd_windows" "" "$remove_user" -- "$odd/Uninstall.exe" /S
expect "uninstall /S" run "$userdir/Uninstall.exe" /S
row "all-users install" "$pf_windows" "provisioned;staged $pf_windows" "$remove_provisioned" "$remove_all" "$stage" \
    "$provision" -- "$setup" /S /ALLUSERS
row "all-users uninstall" "$pf_windows" "" "$remove_provisioned" "$remove_all" -- "$pf64/Uninstall.exe" /S

echo "== as ARM64 Windows and as an account without administrator rights"
text_of_log() { iconv -f UTF-16LE -t UTF-8 "$log"; }
run "$standins/setup-ARM64.exe" /S /CURRENTUSER
expect "ARM64: the setup ends with status 2" test $? -eq 2
expect_not "ARM64: nothing installed" test -e "$userdir"
expect "ARM64: the log says why" grep -a -q "not installed: ARM64 Windows" <(text_of_log)
expect "no administrator: setup /S /ALLUSERS" run "$standins/setup-User.exe" /S /ALLUSERS
run "$pf64/Uninstall.exe" /S
expect "no administrator: the uninstaller removes nothing" test -f "$pf64/Quelvar.dll" -a -f "$pf64/Uninstall.exe"
expect "no administrator: the registration stays" key_exists "HKLM\\Software\\Classes\\CLSID\\$clsid" 64
expect "no administrator: the log says why" grep -a -q "the uninstaller has no administrator rights" <(text_of_log)
expect "setup /S /ALLUSERS over it" run "$setup" /S /ALLUSERS
expect "uninstall /S" run "$pf64/Uninstall.exe" /S
expect_not "64-bit folder removed" test -e "$pf64"

echo "installer check: $failures failure(s)"
[ $failures -eq 0 ]

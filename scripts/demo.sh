#!/usr/bin/env bash
# The main job: sets everything up, builds Quelvar.dll, registers it with
# regsvr32 in the project's Wine prefix and prints what registration wrote.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/build.sh"
RUN="$ROOT/scripts/wine-run.sh"
export QV_KEEP_WINESERVER=1
export WINEPREFIX="$ROOT/build/wineprefix"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
dll="$(winepath -w "$ROOT/build/bin/Quelvar.dll" 2>/dev/null)"
echo "Registering $dll"
"$RUN" regsvr32 /s "$dll"
echo
echo "What registration wrote:"
clsid='{6F41C2A8-93D0-4B7E-8C15-2E9A7D3B5F60}'
for key in "HKCR\\CLSID\\$clsid" "HKCR\\AppID\\{A3E5B7C9-1D2F-4A6B-9C8E-7F0D1B2C3E4A}" 'HKCR\AppID\Quelvar.DLL' \
    'HKCR\lnkfile\ShellEx\ContextMenuHandlers\Quelvar' 'HKCR\*\ShellEx\ContextMenuHandlers\Quelvar' \
    'HKCR\Folder\ShellEx\ContextMenuHandlers\Quelvar' 'HKCR\Directory\Background\ShellEx\ContextMenuHandlers\Quelvar' \
    'HKCR\Directory\ShellEx\ContextMenuHandlers\Quelvar' 'HKCR\Drive\ShellEx\ContextMenuHandlers\Quelvar' \
    'HKCR\InternetShortcut\ShellEx\ContextMenuHandlers\Quelvar'; do
    "$RUN" reg query "$key" /s 2>/dev/null | tr -d '\r' | sed '/^$/d'
done
"$RUN" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved' /v "$clsid" 2>/dev/null \
    | tr -d '\r' | sed '/^$/d'

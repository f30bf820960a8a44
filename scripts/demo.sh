#!/usr/bin/env bash
# The main job: shows the product working. Sets everything up, builds both
# modules and the installer, installs Quelvar silently into a fresh Wine prefix
# (64-bit, with the 32-bit side) and runs the demo host QuelvarDemo.exe: a folder
# window that asks the installed handler for its context menu as Explorer does.
# The host opens the Quelvar menu on a folder with favorites and history entries,
# "Shell Tools", and the Checksum Calculator on a file, saves a PNG of each step
# under build/demo/ and prints the menu tree; then it takes the same tour with
# the dark theme (build/demo/dark/) and at 144 DPI (build/demo/144dpi/). With DISPLAY set the demo window
# stays open for you to use (close it to end); without one the demo runs on its
# own Xvfb and exits.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$ROOT/scripts/build.sh" >/dev/null
VERSION="$(sed -n 's/.*project(Quelvar VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")"
SETUP="$ROOT/build/Quelvar-$VERSION-setup.exe"
OUT="$ROOT/build/demo"
TEMPLATE="$ROOT/build/demo-prefix-template"
export WINEPREFIX="$ROOT/build/demo-prefix"
export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE=/usr/lib/wine/wine64

stay=""
[ -n "${DISPLAY:-}" ] && stay=1
# shellcheck source=display.sh
source "$ROOT/scripts/display.sh"
trap stop_display EXIT
start_display

# A pristine prefix is made once and copied for every run, so each run starts
# from a fresh one in seconds.
if [ ! -f "$TEMPLATE/.quelvar-ready" ]; then
    echo "Creating a pristine Wine prefix (once) ..."
    rm -rf "$TEMPLATE"
    WINEPREFIX="$TEMPLATE" "$WINE" wineboot -i >/dev/null 2>&1
    # Without a window manager Wine waits whenever it hides a managed window.
    [ -z "$stay" ] && WINEPREFIX="$TEMPLATE" "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed \
        /t REG_SZ /d N /f >/dev/null 2>&1
    WINEPREFIX="$TEMPLATE" wineserver -w
    # shellcheck source=windows-version.sh
    source "$ROOT/scripts/windows-version.sh"
    WINEPREFIX="$TEMPLATE" WINE="$WINE" set_windows_build 19045
    touch "$TEMPLATE/.quelvar-ready"
fi
wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX" "$OUT"
cp -a "$TEMPLATE" "$WINEPREFIX"
mkdir -p "$OUT"

echo "Installing $(basename "$SETUP") silently for all users ..."
"$WINE" "$SETUP" /S /ALLUSERS >/dev/null 2>&1
echo "Installed: $(cd "$WINEPREFIX/drive_c" && ls "Program Files/Quelvar" "Program Files (x86)/Quelvar" | tr '\n' ' ')"
echo
args=("C:\\Quelvar Demo" "$(winepath -w "$OUT")" --tour)
[ -n "$stay" ] && args+=(--stay) && echo "The demo window stays open: close it to end."
"$WINE" "$ROOT/build/bin/QuelvarDemo.exe" "${args[@]}" 2>/dev/null | tr -d '\r'
echo
ls "$OUT"/*.png

# The same tour once more with the apps' dark theme, and once at 144 DPI
# (150 %), each into a folder of its own; these two runs never stay open.
PERSONALIZE='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
tour_again() {
    local name="$1"
    mkdir -p "$OUT/$name"
    echo
    echo "The tour in $name:"
    "$WINE" "$ROOT/build/bin/QuelvarDemo.exe" "C:\\Quelvar Demo" "$(winepath -w "$OUT/$name")" --tour \
        2>/dev/null | tr -d '\r' | grep -i 'screenshots are in' || true
    ls "$OUT/$name"/*.png
}
"$WINE" reg add "$PERSONALIZE" /v AppsUseLightTheme /t REG_DWORD /d 0 /f >/dev/null 2>&1
tour_again dark
"$WINE" reg delete "$PERSONALIZE" /v AppsUseLightTheme /f >/dev/null 2>&1
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
tour_again 144dpi
"$WINE" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1

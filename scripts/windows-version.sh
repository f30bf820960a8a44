# Sourced by the scripts that make a Wine prefix: set_windows_build <build> makes the prefix report
# Windows 10.0.<build> (19045 is Windows 10 22H2, 22000 and later Windows 11) to every program of both
# bitnesses, through RtlGetVersion, GetVersionEx and the shared data page alike. With no per-user
# "Version" override, Wine takes the version from these values of each registry view when its
# wineserver starts; the "win10" setting would report build 18362, and no setting reports Windows 11.
# Needs WINEPREFIX; WINE defaults to wine64. Stops the prefix's wineserver so the next program sees it.
set_windows_build() {
    local build="$1" wine="${WINE:-/usr/lib/wine/wine64}" view
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
    "$wine" reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1
    for view in 64 32; do
        "$wine" reg add "$key" /v CurrentVersion /t REG_SZ /d 10.0 /f "/reg:$view" >/dev/null 2>&1
        "$wine" reg add "$key" /v CurrentBuildNumber /t REG_SZ /d "$build" /f "/reg:$view" >/dev/null 2>&1
        "$wine" reg add "$key" /v CurrentBuild /t REG_SZ /d "$build" /f "/reg:$view" >/dev/null 2>&1
        "$wine" reg add "$key" /v CSDVersion /t REG_SZ /d "" /f "/reg:$view" >/dev/null 2>&1
        "$wine" reg add "$key" /v ProductName /t REG_SZ /d "Windows 10 Pro" /f "/reg:$view" >/dev/null 2>&1
    done
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
}

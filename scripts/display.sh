# Sourced by the scripts that run Windows programs under Wine.
# start_display: starts a private Xvfb and exports its DISPLAY, unless DISPLAY is already set;
# XVFB_PID holds the started server's process id, or nothing when an existing display is used.
start_display() {
    XVFB_PID=""
    [ -n "${DISPLAY:-}" ] && return 0
    local fdfile
    fdfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$fdfile" ] && break
        sleep 0.05
    done
    export DISPLAY=":$(tr -d '\n' <"$fdfile")"
    rm -f "$fdfile"
}

# stop_display [--keep-wineserver]: the end of a run, for an EXIT trap. Stops the wineserver of $WINEPREFIX
# and waits until it is gone (unless told to keep it, for a driver that stops it itself), so that no Wine
# process outlives the run and holds its output open; then stops the Xvfb that start_display started.
# Never fails, so it cannot change the exit status of the script it ends.
stop_display() {
    if [ "${1:-}" != --keep-wineserver ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
    fi
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" >/dev/null 2>&1 || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}

# start_wine_services WINE_RUN: for the benchmarks, one display, one wineserver and one set of Wine's own
# services (services.exe, explorer.exe, ...) of $QV_WINEPREFIX that serve every timed run: started anew with
# each run, their start-up would take the processor from the very seconds being timed. stop_wine_services
# (for an EXIT trap) ends them, unless a driver that set QV_KEEP_WINESERVER owns the wineserver.
start_wine_services() {
    WINE_SERVICES_OWNED=""
    start_display
    if [ -z "${QV_KEEP_WINESERVER:-}" ]; then
        export QV_KEEP_WINESERVER=1
        WINE_SERVICES_OWNED=1
    fi
    "$1" --init >/dev/null 2>&1
    WINEPREFIX="$QV_WINEPREFIX" wineserver -p
    "$1" wineboot >/dev/null 2>&1 </dev/null
    sleep 3  # until the services have settled
}

stop_wine_services() {
    if [ -n "${WINE_SERVICES_OWNED:-}" ]; then
        WINEPREFIX="$QV_WINEPREFIX" stop_display
    else
        stop_display --keep-wineserver
    fi
}

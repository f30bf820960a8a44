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

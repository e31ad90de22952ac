# Sourced by the scripts that look at the program under X: a work folder, an Xvfb on a free
# display with trayer as the tray host, and a cleanup that ends exactly what was started.
#
#   start_x_session NAME    sets $work and DISPLAY; stops everything on exit

work=""
pids=()

stop_x_session() {
    # Only what the script started, newest first.
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    [ -n "$work" ] && rm -rf "$work"
}

start_x_session() {
    local name=$1
    work=$(mktemp -d)
    trap stop_x_session EXIT

    # Xvfb picks a free display itself and reports its number.
    Xvfb -displayfd 3 -screen 0 1024x600x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || { echo "$name: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(cat "$work/display")"

    trayer --edge top --align right --widthtype pixel --width 120 --height 28 \
        --SetDockType true --transparent false >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.5
}

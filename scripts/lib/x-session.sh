# Sourced by the scripts that look at the program under X: a work folder, an Xvfb on a free
# display with trayer as the tray host, and a cleanup that ends exactly what was started.
#
#   start_x_session NAME    sets $work and DISPLAY; stops everything on exit
#   wait_for FILE PATTERN   waits up to 5 s for PATTERN to show in FILE
#   window_of MIN_WIDTH     "X Y W H" of the program's visible window: the tray icon for 1,
#                           the panel for 300
#   wait_for_window MIN_WIDTH   the same, waiting up to 4 s for it

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

wait_for() {
    for _ in $(seq 100); do grep -q "$2" "$1" && return 0; sleep 0.05; done
    return 1
}

window_of() {
    local w
    for w in $(xdotool search --onlyvisible --class quorvane 2>/dev/null); do
        eval "$(xdotool getwindowgeometry --shell "$w")"
        if [ "$1" -le "$WIDTH" ] && { [ "$1" -ge 300 ] || [ "$WIDTH" -lt 64 ]; }; then
            echo "$X $Y $WIDTH $HEIGHT"
            return 0
        fi
    done
    return 1
}

wait_for_window() {
    for _ in $(seq 40); do window_of "$1" && return 0; sleep 0.1; done
    return 1
}

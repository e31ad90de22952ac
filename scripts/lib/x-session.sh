# Sourced by the scripts that look at the program under X: a work folder, an Xvfb on a free
# display with trayer as the tray host, and a cleanup that ends exactly what was started.
#
#   start_x_session NAME    sets $work and DISPLAY; stops everything on exit; the screen is
#                           $X_SCREEN (default 1024x600x24)
#   start_notifications DIR a session bus of its own and dunst as the notification daemon
#                           (in the corner NOTICE_ORIGIN, default top-right),
#                           with icons from DIR; sets DBUS_SESSION_BUS_ADDRESS
#   wait_for FILE PATTERN   waits up to 5 s for PATTERN to show in FILE
#   window_of MIN_WIDTH     "X Y W H" of the program's visible window: the tray icon for 1,
#                           the panel for 300
#   wait_for_window MIN_WIDTH   the same, waiting up to 4 s for it
#   wait_for_menu           "X Y W H" of the program's open context menu, waiting up to 4 s

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
    Xvfb -displayfd 3 -screen 0 "${X_SCREEN:-1024x600x24}" -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
    [ -s "$work/display" ] || { echo "$name: Xvfb did not start" >&2; exit 1; }
    export DISPLAY=":$(cat "$work/display")"

    trayer --edge top --align right --widthtype pixel --width 120 --height 28 \
        --SetDockType true --transparent false >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.5
}

start_notifications() {
    local icons=$1
    dbus-daemon --session --nofork --nopidfile --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$work/bus" ] && break; sleep 0.05; done
    [ -s "$work/bus" ] || { echo "session bus did not start" >&2; exit 1; }
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$work/bus")
    export DBUS_SESSION_BUS_ADDRESS
    cat >"$work/dunstrc" <<DUNSTRC
[global]
    font = DejaVu Sans 9
    origin = ${NOTICE_ORIGIN:-top-right}
    offset = 8x36
    width = 330
    frame_width = 1
    frame_color = "#8a93a3"
    padding = 10
    horizontal_padding = 10
    icon_position = left
    min_icon_size = 32
    max_icon_size = 32
    icon_path = $icons
    format = "<b>%s</b>\n%b"
[urgency_normal]
    background = "#ffffff"
    foreground = "#2b2f36"
    timeout = 0
DUNSTRC
    dunst -config "$work/dunstrc" >"$work/dunst.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
            grep -q 'boolean true' && return 0
        sleep 0.05
    done
    echo "dunst did not take the notification service" >&2
    cat "$work/dunst.log" >&2
    exit 1
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

wait_for_menu() {
    local w
    for _ in $(seq 40); do
        for w in $(xdotool search --onlyvisible --class quorvane 2>/dev/null); do
            eval "$(xdotool getwindowgeometry --shell "$w")"
            if [ "$WIDTH" -ge 64 ] && [ "$WIDTH" -lt 300 ] && [ "$HEIGHT" -ge 100 ]; then
                echo "$X $Y $WIDTH $HEIGHT"
                return 0
            fi
        done
        sleep 0.1
    done
    return 1
}

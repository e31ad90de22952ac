#!/usr/bin/env bash
# The program started as the desktop's autostart entry starts it, in a desktop of its own: Xvfb
# with trayer as the tray host and dunst as the notification service, on the session bus this
# script runs on (with-secret-service.sh's, whose Secret Service holds what the home keeps).
# Waits until the program has told a notice or shown its panel, then prints KEY=VALUE lines:
#   MOUNTS  mounts below $HOME     NOTICE  the first notice's title     PANEL  shown or hidden
# and takes a screenshot of the whole screen. Everything it started ends with it; the program
# ends as at the end of a session.
#
#   autostart-desk.sh PROGRAM SCREENSHOT
set -euo pipefail
program=$1
screenshot=$2
repo=$(cd "$(dirname "$0")/../.." && pwd)
. "$repo/scripts/lib/x-session.sh"
start_x_session autostart-desk
export XDG_CONFIG_HOME="$HOME/.config"

dbus-monitor --session "type='method_call',interface='org.freedesktop.Notifications',member='Notify'" \
    >"$work/notices" 2>/dev/null &
pids+=($!)
dunst >"$work/dunst.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null |
        grep -q 'boolean true' && break
    sleep 0.05
done

QT_QPA_PLATFORM=xcb "$program" --autostart >"$work/program.log" 2>&1 </dev/null &
pids+=($!)

# The summary is the third string of a Notify call (after the name and the icon).
notice() {
    awk '/member=Notify/ { n = 0; next } /^ *string "/ { if (++n == 3) { sub(/^ *string "/, ""); sub(/"$/, ""); print; exit } }' \
        "$work/notices"
}
panel=hidden
for _ in $(seq 900); do
    [ -n "$(notice)" ] && break
    if window_of 300 >/dev/null; then
        panel=shown
        break
    fi
    sleep 0.1
done
sleep 0.5  # the notice on screen
window_of 300 >/dev/null && panel=shown
import -window root "$screenshot"
echo "MOUNTS=$(awk -v home="$HOME/" 'index($2, home) == 1' /proc/mounts | wc -l)"
echo "NOTICE=$(notice)"
echo "PANEL=$panel"

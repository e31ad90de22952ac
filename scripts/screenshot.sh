#!/usr/bin/env bash
# Takes two pictures of the program as a user sees it: the tray with the icon alone, and the
# logon panel opened by a click on the icon. Runs on a headless machine (Xvfb, with trayer as
# the tray host), as root or not, with no terminal; settings live in a temporary home.
#
#   scripts/screenshot.sh [BUILD_DIR]    (default: build)
#
# Writes BUILD_DIR/screenshots/closed.png, open.png and panel.png (the panel cut out).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
program="$build/bin/quorvane-standin"
out="$build/screenshots"
[ -x "$program" ] || { echo "screenshot: $program not found; build first" >&2; exit 1; }
for tool in Xvfb trayer xdotool import convert xwininfo; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done
mkdir -p "$out"

. "$repo/scripts/lib/x-session.sh"
start_x_session screenshot

# A fresh home whose first launch is over, so that nothing opens by itself.
mkdir -p "$work/home/.config/Quorvane" "$work/runtime"
chmod 700 "$work/runtime"
printf '[General]\nhasLaunchedBefore=true\n' >"$work/home/.config/Quorvane/Quorvane.conf"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=xcb \
    "$program" >"$work/program.log" 2>&1 </dev/null &
pids+=($!)

wait_for "$work/program.log" 'tray icon shown' || {
    echo "screenshot: the program did not show its tray icon" >&2
    cat "$work/program.log" >&2
    exit 1
}

# The tray icon: the program's small window that trayer has taken in.
icon=$(wait_for_window 1) || { echo "screenshot: no tray icon found" >&2; exit 1; }
read -r ix iy iw ih <<<"$icon"
sleep 0.3
import -window root "$out/closed.png"

xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 1
panel=$(wait_for_window 300) || { echo "screenshot: the panel did not open" >&2; exit 1; }
# Out of the way of the panel, so that no hover shows; then Return moves on to the user name.
xdotool mousemove 10 590
sleep 0.3
xdotool key Return
xdotool type --delay 20 alice
sleep 0.3
import -window root "$out/open.png"

# The panel with the tray strip above it.
read -r px py pw ph <<<"$panel"
left=$((px - 12 < 0 ? 0 : px - 12))
convert "$out/open.png" -crop "$((1024 - left))x$((py + ph + 12))+${left}+0" +repage "$out/panel.png"

echo "screenshot: $out/closed.png $out/open.png $out/panel.png"

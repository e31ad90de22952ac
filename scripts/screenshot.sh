#!/usr/bin/env bash
# Takes pictures of the program as a user sees it, on a headless machine (Xvfb, trayer as the
# tray host, dunst as the notification daemon on a session bus of its own), as root or not,
# with no terminal. The program runs with the real engine against the private test domain in
# a temporary home: logged off, the panel, a logon under way (the password kept in GNOME
# Keyring), logged on with its notice, the tray menu with the mounted shares, a share whose
# daemon died (broken, with its menu), the menu after Reconnect repaired it without typing, a
# logout that leaves a share in use, and logged off again.
#
#   scripts/screenshot.sh [BUILD_DIR]    (default: build)
#   scripts/screenshot.sh --panel-variants [BUILD_DIR]
#
# Writes BUILD_DIR/screenshots/: closed.png, open.png, panel.png, and tray-*.png (the tray
# corner with the tool tip, notice or menu of each state); tray-states.png puts the five states
# side by side, tray-repair.png the tray before and after Reconnect.
#
# With --panel-variants it takes the panel after a failed logon (the focus on Logon, a status
# that wraps) at the default font, 14 pt, 18 pt, scale 2, in a dark palette, in German and in
# French, with stand-in workflows and no domain: BUILD_DIR/screenshots/panel-*.png.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
if [ "${1:-}" = "--panel-variants" ]; then
    shift
    exec "$repo/scripts/lib/panel-variants.sh" "$(cd "${1:-$repo/build}" && pwd)"
fi
build=$(cd "${1:-$repo/build}" && pwd)
program="$build/bin/quorvane"
out="$build/screenshots"
[ -x "$program" ] || { echo "screenshot: $program not found; build first" >&2; exit 1; }
for tool in Xvfb trayer xdotool import convert montage xwininfo dbus-daemon dunst dunstctl; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done
mkdir -p "$out"

. "$repo/scripts/lib/x-session.sh"
. "$repo/scripts/lib/demo-users.sh"

# The domain and the home with its mounts live apart from the X session's folder, which is
# removed recursively: a folder with mounts below it is never removed.
data=$(mktemp -d /tmp/quorvane-screenshot-XXXXXX)
chmod 0755 "$data"
home="$data/home"
app_pid=""
finish() {
    set +e
    exec 9<&- 2>/dev/null
    [ -n "$app_pid" ] && { kill "$app_pid" 2>/dev/null; wait "$app_pid" 2>/dev/null; }
    HOME="$home" "$program" logout >/dev/null 2>&1
    awk -v h="$home/" 'index($5, h) == 1 { print $5 }' /proc/self/mountinfo | sed 's/\\040/ /g' |
        while IFS= read -r mp; do fusermount3 -u -z "$mp"; done
    "$repo/scripts/testdomain.sh" stop "$data/domain" >/dev/null 2>&1
    stop_x_session
    grep -qF " $data/" /proc/self/mountinfo || rm -rf --one-file-system "$data"
}

start_x_session screenshot
trap finish EXIT
start_notifications "$build/packaging/icons/48"

eval "$("$repo/scripts/testdomain.sh" start "$data/domain")"

# GNOME Keyring on that bus, with an unlocked keyring in the home, keeps the password that the
# panel's "Remember password" asks it to keep.
mkdir -p "$home/.local/share" "$data/runtime"
chmod 700 "$data/runtime"
printf %s screenshot | XDG_DATA_HOME="$home/.local/share" XDG_RUNTIME_DIR="$data/runtime" \
    gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
        grep -q 'boolean true' && break
    sleep 0.05
done
set_demo_passwords "$data/domain"

# A home whose first launch is over, so that nothing opens by itself; the server preset.
mkdir -p "$home/.config/Quorvane"
printf '[General]\nhasLaunchedBefore=true\nsavedServerAddress=%s\n' "$QUORVANE_TESTDOMAIN_SERVER" \
    >"$home/.config/Quorvane/Quorvane.conf"
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_CACHE_HOME="$home/.cache" \
    XDG_RUNTIME_DIR="$data/runtime" \
    QT_QPA_PLATFORM=xcb \
    "$program" >"$work/program.log" 2>&1 </dev/null &
app_pid=$!

fail() {
    echo "screenshot: $*" >&2
    cat "$work/program.log" >&2
    exit 1
}

# The tray icon: the program's small window that trayer has taken in.
icon=$(wait_for_window 1) || fail "no tray icon found"
read -r ix iy iw ih <<<"$icon"
icon_x=$((ix + iw / 2))
icon_y=$((iy + ih / 2))

# The top-right corner: the tray strip and what opens under it.
corner() { convert "$out/screen.png" -crop "620x${2}+404+0" +repage "$out/$1"; }
# The icon alone, four times its size, for the pictures of the states.
zoom_icon() {
    convert "$out/screen.png" -crop "24x24+$((icon_x - 12))+$((icon_y - 12))" +repage \
        -filter point -resize 400% "$out/$1"
}
shoot() { import -window root "$out/screen.png"; }
hover_icon() { xdotool mousemove "$icon_x" "$icon_y"; sleep 1.5; }
away() { xdotool mousemove 10 590; }
mounts() { awk -v h="$home/" 'index($5, h) == 1' /proc/self/mountinfo | wc -l; }
wait_mounts() {
    for _ in $(seq 200); do [ "$(mounts)" -eq "$1" ] && return 0; sleep 0.1; done
    return 1
}
notice_shown() {
    for _ in $(seq 100); do
        [ "$(dunstctl count displayed 2>/dev/null || echo 0)" -ge 1 ] && return 0
        sleep 0.1
    done
    return 1
}
menu_logout() {
    # From the bottom of the menu: Quit, Start at login, Logout.
    xdotool mousemove "$icon_x" "$icon_y" click 3
    wait_for_menu >/dev/null || fail "the tray menu did not open"
    away
    xdotool key Up Up Up Return
}

sleep 0.3
shoot
cp "$out/screen.png" "$out/closed.png"
hover_icon
shoot
corner tray-logged-off.png 80
zoom_icon icon-logged-off.png
away

xdotool mousemove "$icon_x" "$icon_y" click 1
panel=$(wait_for_window 300) || fail "the panel did not open"
away
sleep 0.3
xdotool key Return
xdotool type --delay 20 alice
sleep 0.3
shoot
cp "$out/screen.png" "$out/open.png"
read -r px py pw ph <<<"$panel"
left=$((px - 12 < 0 ? 0 : px - 12))
convert "$out/open.png" -crop "$((1024 - left))x$((py + ph + 12))+${left}+0" +repage "$out/panel.png"

xdotool key Return
xdotool type --delay 20 "$(demo_password alice)"
# Remember password, then Logon (past "Log on automatically"; Logout is disabled and skipped).
xdotool key Tab space Tab Tab space
sleep 0.5
shoot
corner tray-busy.png 330
zoom_icon icon-busy.png

notice_shown || fail "no notice after the logon"
wait_mounts 6 || fail "the logon did not mount six shares"
sleep 2 # the panel closes 1.5 s after a logon
shoot
corner tray-logged-on-notice.png 140
dunstctl close-all
hover_icon
shoot
corner tray-logged-on.png 80
zoom_icon icon-logged-on.png

# Opens the tray menu, points at its first item and takes the corner with the menu as FILE;
# BELOW is how much of the screen under the menu goes with it.
shoot_menu() { # FILE BELOW
    local menu mx my mw mh
    xdotool mousemove "$icon_x" "$icon_y" click 3
    menu=$(wait_for_menu) || fail "the tray menu did not open"
    xdotool mousemove $((${menu%% *} + 40)) $(($(echo "$menu" | cut -d' ' -f2) + 12))
    sleep 0.5
    shoot
    read -r mx my mw mh <<<"$menu"
    convert "$out/screen.png" -crop "440x$((my + mh + $2))+584+0" +repage "$out/$1"
    xdotool key Escape
    away
}
shoot_menu tray-menu.png 12

# A share whose daemon has died: the tray says some shares are broken and names the cause in
# its menu.
projects_daemon=""
for d in /proc/[0-9]*; do
    if tr '\0' '\n' 2>/dev/null <"$d/cmdline" | grep -qxF "$home/smbmounts/Projects"; then
        projects_daemon=${d#/proc/}
    fi
done
[ -n "$projects_daemon" ] || fail "no daemon serves Projects"
kill -KILL "$projects_daemon"
# Nothing opened and nothing pointed at: the daemon's end reaches the tray by itself.
sleep 2
shoot
zoom_icon icon-broken.png
corner tray-broken-unasked.png 80
# The first opening of the menu already names the cause and offers Reconnect.
shoot_menu tray-broken-menu.png 40
hover_icon
shoot
corner tray-broken.png 80
away
# Reconnect in the tray menu mounts it again with the kept password, nothing typed; the
# menu, opened once more, finds every share working.
xdotool mousemove "$icon_x" "$icon_y" click 3
menu=$(wait_for_menu) || fail "the tray menu did not open"
away
# From the bottom of the menu: Quit, Start at login, Logout, then Reconnect (Logon… is off).
xdotool key Up Up Up Up Return
# The dead mount stays listed until it is detached: wait for a new daemon of Projects.
repaired=""
for _ in $(seq 200); do
    for d in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$d/cmdline" | grep -qxF "$home/smbmounts/Projects" &&
            repaired=yes && break
    done
    [ -n "$repaired" ] && break
    sleep 0.1
done
[ -n "$repaired" ] || fail "Reconnect did not mount Projects again"
xdotool mousemove "$icon_x" "$icon_y" click 3
wait_for_menu >/dev/null || fail "the tray menu did not open"
sleep 1.5
xdotool key Escape
away
sleep 0.3
shoot_menu tray-repaired-menu.png 40
hover_icon
shoot
corner tray-repaired.png 80
away

# A file held open keeps its share busy: the logout cannot release it.
exec 9<"$home/smbmounts/Staff Public/welcome.txt"
menu_logout
notice_shown || fail "no notice after the logout that left a share"
sleep 0.3
shoot
corner tray-shares-left-notice.png 140
dunstctl close-all
hover_icon
shoot
corner tray-shares-left.png 80
zoom_icon icon-shares-left.png
away

exec 9<&-
menu_logout
wait_mounts 0 || fail "the second logout did not release everything"
sleep 0.5

cd "$out"
convert tray-busy.png -crop 620x80+0+0 +repage tray-busy-strip.png
rows=()
for state in logged-off busy logged-on broken shares-left; do
    strip="tray-$state.png"
    [ "$state" = busy ] && strip=tray-busy-strip.png
    convert "icon-$state.png" -bordercolor white -border 8 "$strip" -background white \
        -gravity center +append \
        "row-$state.png"
    rows+=("row-$state.png")
done
montage -label 'Logged off' "${rows[0]}" -label 'Logging on (the panel is open below)' "${rows[1]}" \
    -label 'Logged on' "${rows[2]}" -label 'Some shares broken (a daemon was killed)' "${rows[3]}" \
    -label 'Some shares could not be released' "${rows[4]}" \
    -tile 1x5 -geometry +6+6 -font DejaVu-Sans -pointsize 13 tray-states.png
# The repair: the tray's state and menu before Reconnect and after it.
for state in broken repaired; do
    convert "tray-$state.png" "tray-$state-menu.png" -background black -gravity east -append \
        "repair-$state.png"
done
montage -label 'Before: a daemon was killed' repair-broken.png \
    -label 'After Reconnect with the kept password, nothing typed' repair-repaired.png \
    -tile 2x1 -geometry +6+6 -font DejaVu-Sans -pointsize 13 tray-repair.png
rm -f screen.png tray-busy-strip.png icon-*.png row-*.png repair-*.png
echo "screenshot: $(ls "$out" | tr '\n' ' ')"

#!/usr/bin/env bash
# The panel after a failed logon under the fonts, scales, palettes and languages a desk may
# have; run by scripts/screenshot.sh --panel-variants BUILD_DIR. The tray program with stand-in
# workflows runs in a home of its own for each picture.
set -euo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
program="$build/bin/quorvane-standin"
out="$build/screenshots"
[ -x "$program" ] || { echo "panel-variants: $program not found; build first" >&2; exit 1; }
mkdir -p "$out"

X_SCREEN=1280x900x24
. "$repo/scripts/lib/x-session.sh"
start_x_session panel-variants
# Notices go to a daemon of their own, closed before each picture.
start_notifications "$build/packaging/icons/48"

# Qt's default font on a desktop without a theme is 9 pt; a higher font resolution is how a
# desktop's larger text reaches the program (GNOME's Large Text sets Xft.dpi the same way).
dpi_for() { echo $((96 * $1 / 9)); }

# NAME, then the environment and options of the picture. With BUSY=1 the logon runs until
# Escape stops it, and the picture shows it running: Logon is its Cancel. With CONTEXT_MENU=1
# the server field's context menu is open.
shoot_variant() {
    local name=$1 home="$work/home-$1" app
    shift
    mkdir -p "$home/.config/Quorvane" "$home/runtime"
    chmod 700 "$home/runtime"
    printf '[General]\nhasLaunchedBefore=true\nsavedServerAddress=FS1\n' \
        >"$home/.config/Quorvane/Quorvane.conf"
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/runtime" \
        LANG=en_US.UTF-8 LANGUAGE= QT_QPA_PLATFORM=xcb "$@" \
        "$([ "${BUSY:-0}" = 1 ] && echo --slow-logon || echo --logon-fails)" \
        >"$work/$name.log" 2>&1 </dev/null &
    app=$!
    local icon ix iy iw ih panel px py pw ph
    icon=$(wait_for_window 1) || { echo "panel-variants: no tray icon ($name)" >&2; exit 1; }
    read -r ix iy iw ih <<<"$icon"
    xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 1
    panel=$(wait_for_window 300) || { echo "panel-variants: no panel ($name)" >&2; exit 1; }
    xdotool mousemove 5 895
    xdotool key Return
    xdotool type --delay 20 alice
    xdotool key Return
    xdotool type --delay 20 secret
    xdotool key Return
    if [ "${BUSY:-0}" = 1 ]; then
        wait_for "$work/$name.log" "stand-in: tool pid" || true
    else
        wait_for "$work/$name.log" "stand-in: logon" || true
    fi
    sleep 0.5
    dunstctl close-all
    sleep 0.2
    panel=$(window_of 300)
    read -r px py pw ph <<<"$panel"
    if [ "${CONTEXT_MENU:-0}" = 1 ]; then
        # The toolkit's own menu of the server field, in the desk's language.
        xdotool mousemove $((px + pw - 60)) $((py + ph * 3 / 8)) click 3
        sleep 0.7
    fi
    import -window root -crop "${pw}x${ph}+${px}+${py}" +repage "$out/panel-$name.png"
    if [ "${BUSY:-0}" = 1 ]; then
        xdotool key Escape
        wait_for "$work/$name.log" "stand-in: logon ended" || true
    fi
    kill "$app"
    wait "$app" 2>/dev/null || true
}

shoot_variant default "$program"
# Without high-DPI scaling the resolution changes the fonts alone.
shoot_variant 14pt QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI="$(dpi_for 14)" "$program"
shoot_variant 18pt QT_ENABLE_HIGHDPI_SCALING=0 QT_FONT_DPI="$(dpi_for 18)" "$program"
shoot_variant scale2 QT_SCALE_FACTOR=2 "$program"
shoot_variant dark "$program" --dark
BUSY=1 shoot_variant busy "$program"
BUSY=1 shoot_variant de LANG=de_DE.UTF-8 "$program"
BUSY=1 shoot_variant fr LANG=fr_FR.UTF-8 "$program"
CONTEXT_MENU=1 shoot_variant de-menu LANG=de_DE.UTF-8 "$program"
echo "panel-variants: $(ls "$out"/panel-*.png | wc -l) pictures in $out"

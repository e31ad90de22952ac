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
# Notices go to a daemon of their own, closed before each picture; at the bottom, apart from
# the pop-up under the tray icon, so that one picture of the screen holds both.
NOTICE_ORIGIN=bottom-right
start_notifications "$build/packaging/icons/48"

# Qt's default font on a desktop without a theme is 9 pt; a higher font resolution is how a
# desktop's larger text reaches the program (GNOME's Large Text sets Xft.dpi the same way).
dpi_for() { echo $((96 * $1 / 9)); }

# NAME, then the environment and options of the picture. With BUSY=1 the logon runs until
# Escape stops it, and the picture shows it running: Logon is its Cancel. With CONTEXT_MENU=1
# the server field's context menu is open. OUTCOME=succeeds or partial makes the logon end so
# (else it fails); NOTICE=1 takes the notice too, as notice-NAME.png.
shoot_variant() {
    local name=$1 home="$work/home-$1" app
    shift
    local outcome=(--logon-fails)
    if [ "${BUSY:-0}" = 1 ]; then
        outcome=(--slow-logon)
    elif [ "${OUTCOME:-}" = succeeds ]; then
        outcome=()
    elif [ "${OUTCOME:-}" = partial ]; then
        outcome=(--partial-logon)
    fi
    mkdir -p "$home/.config/Quorvane" "$home/runtime"
    chmod 700 "$home/runtime"
    printf '[General]\nhasLaunchedBefore=true\nsavedServerAddress=FS1\n' \
        >"$home/.config/Quorvane/Quorvane.conf"
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/runtime" \
        LANG=en_US.UTF-8 LANGUAGE= QT_QPA_PLATFORM=xcb "$@" \
        "${outcome[@]}" \
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
    if [ "${NOTICE:-0}" = 1 ]; then
        # At once: a logon that succeeds closes the pop-up 1.5 s after it ends. dunst's corner
        # is the bottom right, 330 wide, 8 from the edge and 36 from the bottom.
        panel=$(window_of 300) || true
        import -window root "$work/screen-$name.png"
        convert "$work/screen-$name.png" -gravity SouthEast -crop 350x300+0+20 +repage \
            "$out/notice-$name.png"
        read -r px py pw ph <<<"$panel"
        convert "$work/screen-$name.png" -crop "${pw}x${ph}+${px}+${py}" +repage \
            "$out/panel-$name.png"
        dunstctl close-all
        kill "$app"
        wait "$app" 2>/dev/null || true
        return
    fi
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
# One language per desk: after a logon, a failure and a partial logon, with their notices.
for language in ${LANGUAGES:-de fr}; do
    locale="${language}_$(echo "$language" | tr a-z A-Z).UTF-8"
    OUTCOME=succeeds NOTICE=1 shoot_variant "$language-logon" LANG="$locale" "$program"
    OUTCOME=fails NOTICE=1 shoot_variant "$language-failed" LANG="$locale" "$program"
    OUTCOME=partial NOTICE=1 shoot_variant "$language-partial" LANG="$locale" "$program"
done
echo "panel-variants: $(ls "$out"/panel-*.png | wc -l) pictures in $out"

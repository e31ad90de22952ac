#!/usr/bin/env bash
# Looks at the program as a screen reader does, over AT-SPI on a headless machine (Xvfb, trayer,
# a session bus with the accessibility bus): the pop-up must be listed under the program, every
# control must have a name and a description, and a new status message must be announced by the
# status bar. The tray program with stand-in workflows runs; its logon fails.
#
#   scripts/accessibility-check.sh [BUILD_DIR]    (default: build)
#
# Prints the accessible tree and the announcements; exits non-zero when a check fails.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
program="$build/bin/quorvane-standin"
[ -x "$program" ] || { echo "accessibility-check: $program not found; build first" >&2; exit 1; }
for tool in Xvfb trayer xdotool dbus-daemon /usr/libexec/at-spi-bus-launcher; do
    command -v "$tool" >/dev/null || { echo "accessibility-check: $tool missing (scripts/install-deps.sh)" >&2; exit 1; }
done

. "$repo/scripts/lib/x-session.sh"
start_x_session accessibility-check
start_notifications "$build/packaging/icons/48"
# The accessibility bus keeps its socket in a runtime folder of this check's own.
mkdir -p "$work/runtime"
chmod 700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime" /usr/libexec/at-spi-bus-launcher --launch-immediately \
    >"$work/at-spi.log" 2>&1 &
pids+=($!)

home="$work/home"
mkdir -p "$home/.config/Quorvane" "$home/runtime"
chmod 700 "$home/runtime"
printf '[General]\nhasLaunchedBefore=true\nsavedServerAddress=FS1\n' >"$home/.config/Quorvane/Quorvane.conf"
HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/runtime" \
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    "$program" --logon-fails >"$work/program.log" 2>&1 </dev/null &
pids+=($!)

icon=$(wait_for_window 1) || { echo "accessibility-check: no tray icon" >&2; exit 1; }
read -r ix iy iw ih <<<"$icon"
xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click 1
wait_for_window 300 >/dev/null || { echo "accessibility-check: the panel did not open" >&2; exit 1; }
xdotool mousemove 5 590

# Debian's pyatspi is for the system's Python.
/usr/bin/python3 - <<'PYTHON'
import subprocess, sys
import pyatspi
from gi.repository import GLib

def find_program():
    desktop = pyatspi.Registry.getDesktop(0)
    for _ in range(50):
        for app in desktop:
            if app is not None and "quorvane" in (app.name or "").lower():
                return app
        GLib.usleep(100000)
    sys.exit("accessibility-check: the program is not on the accessibility bus")

program = find_program()
failures = []

def walk(node, depth=0):
    role = node.getRoleName()
    name, description = node.name or "", node.description or ""
    print(f"{'  ' * depth}{role}: {name!r} — {description!r}")
    if role in ("push button", "text", "password text", "progress bar", "status bar") and (
        not name or not description
    ):
        failures.append(f"{role} without a name or a description: {name!r}")
    for child in node:
        if child is not None:
            walk(child, depth + 1)

windows = [child for child in program if child is not None]
print(f"{program.name}: {len(windows)} window(s)")
if not windows:
    failures.append("the pop-up is not listed under the program")
for window in windows:
    walk(window, 1)

announced = []
def on_name(event):
    if event.source.getRoleName() == "status bar":
        announced.append(event.source.name)
pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")

def type_and_log_on():
    for keys in (["key", "Return"], ["type", "--delay", "20", "alice"], ["key", "Return"],
                 ["type", "--delay", "20", "secret"], ["key", "Return"]):
        subprocess.run(["xdotool", *keys], check=True)
    return False
GLib.timeout_add(500, type_and_log_on)
GLib.timeout_add(4000, lambda: pyatspi.Registry.stop() or False)
pyatspi.Registry.start()

print("announced:", announced)
if not any(text.startswith("Processing Network Logon Workflows") for text in announced):
    failures.append("the running logon was not announced")
if not any(text.startswith("Failed to mount initial user home directory") for text in announced):
    failures.append("the failed logon was not announced")
if not any(window.getRoleName() in ("frame", "window") for window in windows):
    failures.append("the pop-up is not a window")
for failure in failures:
    print("FAIL:", failure)
print("accessibility-check:", "failed" if failures else "passed")
sys.exit(1 if failures else 0)
PYTHON

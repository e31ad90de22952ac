#!/usr/bin/env bash
# Whole-program figures of the tray application under Xvfb with trayer as the tray host:
#   - start-up: from launching the process to its tray icon being shown (target <= 150 ms)
#   - resident memory after start, after opening the panel, and after a logon and a logout
#     through the panel with stand-in workflows (target <= 40 MB)
#   - wake-ups while idle with the panel closed: context switches of all its threads
#     (target: none)
# Figures, not pass or fail.
#
#   scripts/bench-gui.sh [BUILD_DIR] [RUNS] [IDLE_SECONDS]   (defaults: build 5 10)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$repo/build}" && pwd)
runs=${2:-5}
idle=${3:-10}
program="$build/bin/quorvane-standin"
[ -x "$program" ] || { echo "bench-gui: $program not found; build first" >&2; exit 1; }

. "$repo/scripts/lib/x-session.sh"
start_x_session bench-gui

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
switches() {
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ { n += $2 } END { print n + 0 }'
}
click_icon() {
    local icon
    icon=$(window_of 1) || return 1
    read -r x y w h <<<"$icon"
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}

startups=()
printf '%-4s %12s %12s %12s %14s %14s\n' run "start ms" "RSS start" "RSS open" "RSS log on/off" "idle wakeups"
for run in $(seq "$runs"); do
    home="$work/home$run"
    mkdir -p "$home/.config/Quorvane" "$home/run"
    chmod 700 "$home/run"
    printf '[General]\nhasLaunchedBefore=true\nsavedServerAddress=FS1\n' >"$home/.config/Quorvane/Quorvane.conf"
    log="$home/program.log"
    start_us=${EPOCHREALTIME/./}  # bash's own clock: no process start of its own to count
    HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/run" QT_QPA_PLATFORM=xcb \
        "$program" >"$log" 2>&1 </dev/null &
    pid=$!
    pids+=("$pid")
    wait_for "$log" 'tray icon shown' || { echo "bench-gui: no tray icon" >&2; cat "$log" >&2; exit 1; }
    shown=$(sed -n 's/.*tray icon shown at \([0-9]*\) ms.*/\1/p' "$log")
    startup=$((shown - start_us / 1000))
    startups+=("$startup")
    sleep 1
    rss_start=$(rss_kb "$pid")

    before=$(switches "$pid")
    sleep "$idle"
    wakeups=$(($(switches "$pid") - before))

    click_icon
    sleep 0.5
    rss_open=$(rss_kb "$pid")
    # Focus starts in the server field: Return, user name, Return, password, Return logs on.
    xdotool key Return type --delay 10 alice
    xdotool key Return type --delay 10 secret
    xdotool key Return
    wait_for "$log" 'stand-in: logon' || echo "bench-gui: the logon did not run" >&2
    sleep 2  # the panel closes 1.5 s after a successful logon
    click_icon
    sleep 0.5
    panel=$(window_of 300) || true
    if [ -n "$panel" ]; then
        read -r px py pw ph <<<"$panel"
        # The Logout button: left of centre in the bottom row of the panel.
        xdotool mousemove $((px + pw / 2 - 58)) $((py + ph - 33)) click 1
    fi
    wait_for "$log" 'stand-in: logout' || echo "bench-gui: the logout did not run" >&2
    sleep 0.5
    rss_after=$(rss_kb "$pid")

    kill "$pid"
    wait "$pid" 2>/dev/null || true
    awk -v run="$run" -v ms="$startup" -v a="$rss_start" -v b="$rss_open" -v c="$rss_after" \
        -v w="$wakeups / ${idle}s" \
        'BEGIN { printf "%-4s %12s %9.1f MB %9.1f MB %11.1f MB %14s\n", run, ms, a / 1024, b / 1024, c / 1024, w }'
done
printf '%s\n' "${startups[@]}" | sort -n |
    awk '{ v[NR] = $1 } END { printf "start-up: min %d ms, median %d ms, max %d ms\n", v[1], v[int((NR + 1) / 2)], v[NR] }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores (start-up times grow with it)"

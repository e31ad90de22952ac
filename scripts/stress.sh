#!/usr/bin/env bash
# Stress runs that are too slow for the default suite, with both cores kept busy:
#
#   scripts/stress.sh mounts [ROUNDS] [BUILD]   interrupt mount_smbfs at random moments
#                                               (default 50 rounds) and count what is left
#   scripts/stress.sh suite [ROUNDS] [BUILD]    run the whole test suite ROUNDS times
#                                               (default 10) and count the failures
#
# Each prints its figures and exits non-zero when anything was left behind or failed.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-}
rounds=${2:-}
build=$(cd "${3:-$top/build}" && pwd)

load_pids=()
start_load() {
    for _ in 1 2; do
        (while :; do :; done) &
        load_pids+=("$!")
    done
}
stop_load() {
    for pid in "${load_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait "${load_pids[@]}" 2>/dev/null || true
}

mounts() {
    local rounds=${1:-50}
    local tools="$build/libexec/quorvane"
    work=$(mktemp -d /tmp/quorvane-stress-XXXXXX)
    chmod 0755 "$work"  # the domain's users must reach their shares below it
    domain="$work/domain"
    "$top/scripts/testdomain.sh" start "$domain" >/dev/null
    local server
    server=$("$top/scripts/testdomain.sh" env "$domain" | sed -n 's/^QUORVANE_TESTDOMAIN_SERVER=//p')
    local password
    password=$("$top/scripts/testdomain.sh" users "$domain" | awk -F'\t' '$1 == "alice" { print $2 }')
    trap 'stop_load; "$top/scripts/testdomain.sh" clean "$domain" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
    start_load

    local mounted=0 interrupted=0 other=0 leftover_mounts=0 leftover_folders=0 leftover_processes=0
    for ((i = 0; i < rounds; i++)); do
        local point="$work/mp$i"
        mkdir "$point"
        local delay
        delay=$(awk -v seed="$RANDOM" 'BEGIN { srand(seed); printf "%.3f", rand() * 0.12 }')
        printf '%s' "$password" | "$tools/mount_smbfs" -f 777 "smb://alice@$server/alice" "$point" \
            >/dev/null 2>&1 &
        local pid=$!
        sleep "$delay"
        kill -INT "$pid" 2>/dev/null || true
        local status=0
        wait "$pid" || status=$?
        if [ "$status" -eq 0 ]; then
            mounted=$((mounted + 1))
            "$tools/umount" "$point" >/dev/null 2>&1 || true
        elif [ "$status" -eq 130 ]; then
            interrupted=$((interrupted + 1))
        else
            other=$((other + 1))
            echo "round $i (delay $delay s): exit status $status" >&2
        fi
        sleep 0.05
        if grep -qF " $point " /proc/self/mountinfo; then
            leftover_mounts=$((leftover_mounts + 1))
            echo "round $i (delay $delay s, status $status): still mounted" >&2
            fusermount3 -u -z "$point" 2>/dev/null || umount -l "$point" 2>/dev/null || true
        fi
        if pgrep -f -- "$point" >/dev/null; then
            leftover_processes=$((leftover_processes + 1))
            echo "round $i (delay $delay s, status $status): a process still serves it" >&2
            pkill -KILL -f -- "$point" || true
        fi
        if ! rmdir "$point" 2>/dev/null; then
            leftover_folders=$((leftover_folders + 1))
            echo "round $i (delay $delay s, status $status): the folder is not empty" >&2
        fi
    done
    echo "interrupted mounts: $rounds rounds, $interrupted interrupted, $mounted finished first," \
        "$other failed otherwise;" \
        "left behind: $leftover_mounts mounts, $leftover_folders folders, $leftover_processes processes"
    [ $((leftover_mounts + leftover_folders + leftover_processes + other)) -eq 0 ]
}

suite() {
    local rounds=${1:-10}
    start_load
    trap stop_load EXIT
    local failed=0
    for ((i = 1; i <= rounds; i++)); do
        if (cd "$build" && ctest -j2 --timeout 600 >"$build/stress-suite-$i.log" 2>&1); then
            echo "suite round $i: passed"
        else
            failed=$((failed + 1))
            echo "suite round $i: FAILED (see $build/stress-suite-$i.log)"
        fi
    done
    echo "whole suite under load: $rounds rounds, $failed failed"
    [ "$failed" -eq 0 ]
}

case "$mode" in
mounts) mounts "$rounds" ;;
suite) suite "$rounds" ;;
*)
    sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac

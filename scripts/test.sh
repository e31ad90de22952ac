#!/usr/bin/env bash
# Builds Quorvane and runs every test: unit tests, panel tests (offscreen), the integration
# tests against a private Samba server with real FUSE mounts, the Debian package (installed
# and run as an ordinary user), the screenshot script, all tests once more under
# AddressSanitizer and UndefinedBehaviorSanitizer, the macOS compile check and the fuzzers.
#
#   scripts/test.sh                     everything
#   SKIP_SANITIZERS=1 scripts/test.sh   without the sanitizer build
#
# The tests mostly wait on servers and mounts, so the compile-bound steps (the sanitizer
# build, the macOS check, the fuzzers) run beside them; every step prints how long it took.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${BUILD_DIR:-build}
jobs=${JOBS:-2}
started=$SECONDS

step() { printf '\n== %s\n' "$*"; }
took() { printf '== %s: %d s\n' "$1" $((SECONDS - $2)); }

# Runs "$@" in the background with its output in LOG; `finish_background` waits for it and
# shows the log when it failed.
background_pid=""
background_log=""
background_name=""
start_background() {
    background_name=$1 background_log=$2
    shift 2
    (
        t=$SECONDS
        nice -n 10 "$@"
        took "$background_name" "$t"
    ) >"$background_log" 2>&1 &
    background_pid=$!
}
finish_background() {
    [ -n "$background_pid" ] || return 0
    local status=0
    wait "$background_pid" || status=$?
    background_pid=""
    if [ "$status" -ne 0 ]; then
        cat "$background_log"
        echo "test.sh: $background_name failed" >&2
        return "$status"
    fi
    grep -E '^(== .*: [0-9]+ s|fuzz: )' "$background_log" || true
}
trap '[ -z "$background_pid" ] || kill -- "$background_pid" 2>/dev/null' EXIT

t=$SECONDS
"$top/scripts/install-deps.sh"
took "packages" "$t"

step "build ($build)"
t=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON
cmake --build "$build" -j"$jobs"
took "build" "$t"

sanitize_build() {
    cmake -S . -B "$build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_WERROR=ON \
        -DQUORVANE_SANITIZE=ON
    cmake --build "$build-sanitize" -j"$jobs"
}
if [ -z "${SKIP_SANITIZERS:-}" ]; then
    start_background "sanitizer build" "$build-sanitize.log" sanitize_build
fi

step "tests"
t=$SECONDS
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 600)
took "tests" "$t"

step "Debian package: install, then the command-line demo as an ordinary user"
t=$SECONDS
scripts/package-check.sh "$build"
took "package" "$t"

step "screenshots"
t=$SECONDS
scripts/screenshot.sh "$build"
took "screenshots" "$t"

if [ -z "${SKIP_SANITIZERS:-}" ]; then
    step "sanitizer build (ran beside the tests)"
    finish_background
fi
# The macOS sources compiled for aarch64-macos (zig, no linking), then the parsers fuzzed
# against their reference readings (libFuzzer, ASan, UBSan), beside the sanitizer tests.
other_checks() {
    local t=$SECONDS
    scripts/check-macos-build.sh "$build-macos"
    took "macOS check" "$t"
    t=$SECONDS
    FUZZ_SECONDS=${FUZZ_SECONDS:-15} scripts/fuzz.sh "$build-fuzz"
    took "fuzzing" "$t"
}
start_background "macOS check and fuzzing" "$build-other-checks.log" other_checks

if [ -z "${SKIP_SANITIZERS:-}" ]; then
    step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    t=$SECONDS
    (cd "$build-sanitize" &&
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
            ctest --output-on-failure -j"$jobs" --timeout 600)
    took "sanitizer tests" "$t"
fi

step "the macOS compile check and the fuzzers (ran beside the sanitizer tests)"
finish_background

step "all tests passed"
took "whole run" "$started"

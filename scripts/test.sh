#!/usr/bin/env bash
# Builds Quorvane and runs every test: unit tests, panel tests (offscreen), the integration
# tests against a private Samba server with real FUSE mounts, the Debian package (installed
# and run as an ordinary user), the screenshot script, and all tests once more under
# AddressSanitizer and UndefinedBehaviorSanitizer.
#
#   scripts/test.sh            everything
#   SKIP_SANITIZERS=1 scripts/test.sh   without the sanitizer build
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${BUILD_DIR:-build}
jobs=${JOBS:-2}

"$top/scripts/install-deps.sh"

step() { printf '\n== %s\n' "$*"; }

step "build ($build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON
cmake --build "$build" -j"$jobs"

step "tests"
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 600)

step "Debian package: install, then the command-line demo as an ordinary user"
scripts/package-check.sh "$build"

if [ -x scripts/screenshot.sh ]; then
    step "screenshots"
    scripts/screenshot.sh "$build"
fi

if [ -z "${SKIP_SANITIZERS:-}" ]; then
    step "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
    cmake -S . -B "$build-sanitize" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_WERROR=ON \
        -DQUORVANE_SANITIZE=ON -DQUORVANE_BUILD_BENCHMARKS=OFF
    cmake --build "$build-sanitize" -j"$jobs"
    (cd "$build-sanitize" &&
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
            ctest --output-on-failure -j"$jobs" --timeout 600)
fi

step "the macOS build compiled for aarch64-macos (zig, no linking)"
scripts/check-macos-build.sh "$build-macos"

step "fuzzing the parsers against their references (libFuzzer, ASan, UBSan)"
scripts/fuzz.sh "$build-fuzz"

step "all tests passed"

#!/usr/bin/env bash
# Builds Quorvane and runs every test: the program and its tools are built for release, the
# Debian package is installed and run as an ordinary user, the screenshots are taken; every
# test (unit, panel and tray offscreen, the integration tests against a private Samba server
# with real FUSE mounts) is built and run under AddressSanitizer and UndefinedBehaviorSanitizer;
# the macOS sources are compiled and the parsers fuzzed.
#
#   scripts/test.sh
#
# Both builds use -Werror. The tests mostly wait on servers and mounts, so the compile-bound
# steps run beside the steps that wait: the test build from the start, beside the release
# build, the package and screenshot checks; the macOS check and the fuzzers beside the tests.
# Every step prints its time.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${BUILD_DIR:-build}
tests="$build-tests"
jobs=${JOBS:-2}
started=$SECONDS

step() { printf '\n== %s\n' "$*"; }
took() { printf '== %s: %d s\n' "$1" $((SECONDS - $2)); }

# One step at a time runs in the background, its output in a log that is shown when it fails.
background_pid=""
background_log=""
background_name=""
start_background() {
    background_name=$1 background_log=$2
    shift 2
    (
        t=$SECONDS
        "$@"
        took "$background_name" "$t"
    ) >"$background_log" 2>&1 &
    background_pid=$!
}
finish_background() {
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

step "the scripts' own tests (tests/scripts)"
t=$SECONDS
for script_test in tests/scripts/*-test.sh; do "$script_test"; done
took "script tests" "$t"

# The Kerberos test waits minutes for a ticket to run out: its programs are built first and it
# runs beside the rest of the build and the other tests. Its outcome lands in $kerberos.status.
kerberos="$tests-kerberos"
sanitized() { ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 "$@"; }
test_build() {
    # Built with clang and lld, a third less compile time than GCC here, so the tests also meet
    # a second compiler's warnings. Line tables are all the sanitizers' reports need; full
    # debug information only slows the build.
    CXX=clang++ cmake -S . -B "$tests" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
        -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld \
        -DQUORVANE_WERROR=ON -DCMAKE_UNITY_BUILD=ON -DQUORVANE_SANITIZE=ON
    cmake --build "$tests" -j"$jobs" --target tools_kerberos_tests
    rm -f "$kerberos.status"
    (
        status=0
        (cd "$tests" && sanitized ctest -R '^tools_kerberos$' --output-on-failure --timeout 600) \
            >"$kerberos.log" 2>&1 || status=$?
        echo "$status" >"$kerberos.status"
    ) &
    cmake --build "$tests" -j"$jobs"
}
start_background "test build ($tests, AddressSanitizer and UndefinedBehaviorSanitizer)" \
    "$tests.log" test_build

step "build of the program and its tools ($build, release)"
t=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORVANE_WERROR=ON -DCMAKE_UNITY_BUILD=ON \
    -DBUILD_TESTING=OFF
cmake --build "$build" -j"$jobs"
took "build" "$t"

step "Debian package: install, then the command-line demo as an ordinary user"
t=$SECONDS
# From a folder only root can enter, as a clone under /root is: the check's other users must
# not need the working folder.
locked=$(mktemp -d)
(package_build=$(realpath "$build") && cd "$locked" && "$top/scripts/package-check.sh" "$package_build")
rmdir "$locked"
took "package" "$t"

step "screenshots"
t=$SECONDS
scripts/screenshot.sh "$build"
took "screenshots" "$t"

step "test build (ran beside the release build, the package and the screenshots)"
finish_background

# The macOS sources compiled for aarch64-macos (zig, no linking), then the parsers fuzzed
# against their reference readings (libFuzzer, ASan, UBSan).
other_checks() {
    local t=$SECONDS
    scripts/check-macos-build.sh
    took "macOS check" "$t"
    t=$SECONDS
    FUZZ_SECONDS=${FUZZ_SECONDS:-8} scripts/fuzz.sh "$build-fuzz"
    took "fuzzing" "$t"
}
start_background "macOS check and fuzzing" "$build-other-checks.log" other_checks

step "tests, under AddressSanitizer and UndefinedBehaviorSanitizer"
t=$SECONDS
(cd "$tests" && sanitized ctest -E '^tools_kerberos$' --output-on-failure -j"$jobs" --timeout 600)
took "tests" "$t"

step "the Kerberos test (started during the test build)"
t=$SECONDS
while [ ! -s "$kerberos.status" ]; do sleep 1; done
took "waiting for it" "$t"
grep -E 'tests passed|tests failed' "$kerberos.log" || true
if [ "$(cat "$kerberos.status")" != 0 ]; then
    cat "$kerberos.log"
    echo "test.sh: the Kerberos test failed" >&2
    exit 1
fi

step "the panel as a screen reader sees it (AT-SPI)"
t=$SECONDS
scripts/accessibility-check.sh "$tests"
took "accessibility" "$t"

step "the macOS compile check and the fuzzers (ran beside the tests)"
finish_background

step "all tests passed"
took "whole run" "$started"

#!/usr/bin/env bash
# Builds Quorvane and runs every test: the program and its tools are built for release, the
# Debian package is installed and run as an ordinary user, the screenshots are taken; every
# test (unit, panel and tray offscreen, the integration tests against a private Samba server
# with real FUSE mounts) is built and run under AddressSanitizer and UndefinedBehaviorSanitizer;
# the macOS sources are compiled and the parsers fuzzed.
#
#   scripts/test.sh
#
# Both builds use -Werror. The longest chain is the test build and then the tests: the Kerberos
# test starts as soon as its programs are built, the other tests as soon as the test build
# ends, five at a time, as they mostly wait on servers and mounts. Beside it run the release
# build, the package and screenshot checks, and from the start the macOS check (whose first
# run fetches and warms a compiler) and the fuzzers, at a lower priority: they wait for
# nothing, so they take what the rest leaves over. Every step prints its time.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${BUILD_DIR:-build}
tests="$build-tests"
jobs=${JOBS:-2}
# Tests at once: more than the cores, as most of them wait on servers and mounts.
test_jobs=${TEST_JOBS:-5}
started=$SECONDS

step() { printf '\n== %s\n' "$*"; }
took() { printf '== %s: %d s\n' "$1" $((SECONDS - $2)); }

# Steps that run in the background, each with its output in a log that is shown when it fails.
declare -A background_pids=() background_logs=()
start_background() {
    local name=$1 log=$2
    shift 2
    (
        t=$SECONDS
        "$@"
        took "$name" "$t"
    ) >"$log" 2>&1 &
    background_pids[$name]=$!
    background_logs[$name]=$log
}
finish_background() {
    local name=$1 status=0
    wait "${background_pids[$name]}" || status=$?
    unset "background_pids[$name]"
    if [ "$status" -ne 0 ]; then
        cat "${background_logs[$name]}"
        echo "test.sh: $name failed" >&2
        return "$status"
    fi
    grep -E '^(== .*: [0-9]+ s|fuzz: )' "${background_logs[$name]}" || true
}
stop_background() {
    local pid
    for pid in "${background_pids[@]}"; do kill -- "$pid" 2>/dev/null || true; done
}
trap stop_background EXIT

t=$SECONDS
"$top/scripts/install-deps.sh"
took "packages" "$t"

step "the scripts' own tests (tests/scripts)"
t=$SECONDS
for script_test in tests/scripts/*-test.sh; do "$script_test"; done
took "script tests" "$t"

# A compiler cache in the user's cache folder, which outlives the clone: after the first run a
# fresh clone's builds compile only what changed. Paths are taken relative to the clone, so
# clones in other folders share it.
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR="$top" CCACHE_NOHASHDIR=true
    export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
    # The clone's folder also reaches the compiler inside files (the generated unity files
    # include the sources by full path, __FILE__ names them): map it away.
    export CXXFLAGS="-ffile-prefix-map=$top/= ${CXXFLAGS:-}"
    # Qt's resource compiler stamps each file's time, which is the clone's time.
    export QT_RCC_SOURCE_DATE_OVERRIDE=1
fi

# The macOS sources compiled for aarch64-macos (zig, no linking), then the parsers fuzzed
# against their reference readings (libFuzzer, ASan, UBSan): compiles that wait for nothing.
other_checks() {
    local t=$SECONDS
    # zig keeps a compiler cache of its own.
    env -u CMAKE_CXX_COMPILER_LAUNCHER nice -n 10 scripts/check-macos-build.sh
    took "macOS check" "$t"
    t=$SECONDS
    FUZZ_SECONDS=${FUZZ_SECONDS:-8} nice -n 10 scripts/fuzz.sh "$build-fuzz"
    took "fuzzing" "$t"
}
start_background "macOS check and fuzzing" "$build-other-checks.log" other_checks

# The Kerberos test waits minutes for a ticket to run out: its programs are built first and it
# runs beside the rest of the build and the other tests. Its outcome lands in $kerberos.status.
kerberos="$tests-kerberos"
sanitized() { ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 "$@"; }
test_build_and_tests() {
    # Built with clang and lld, a third less compile time than GCC here, so the tests also meet
    # a second compiler's warnings. Line tables are all the sanitizers' reports need; full
    # debug information only slows the build.
    local t=$SECONDS
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
    took "test build ($tests, AddressSanitizer and UndefinedBehaviorSanitizer)" "$t"

    step "tests, under AddressSanitizer and UndefinedBehaviorSanitizer"
    t=$SECONDS
    (cd "$tests" && sanitized ctest -E '^tools_kerberos$' --output-on-failure -j"$test_jobs" \
        --timeout 600)
    took "tests" "$t"
}
start_background "test build and tests" "$tests.log" test_build_and_tests

step "build of the program and its tools ($build, release; beside the test build)"
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

step "test build and tests (beside the release build, the package and the screenshots)"
t=$SECONDS
finish_background "test build and tests"
took "waiting for them" "$t"
sed -n '/^Test project/,/^Total Test time/p' "$tests.log"

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

step "the macOS compile check and the fuzzers (ran from the start, beside everything)"
t=$SECONDS
finish_background "macOS check and fuzzing"
took "waiting for them" "$t"

step "all tests passed"
took "whole run" "$started"

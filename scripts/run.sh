#!/usr/bin/env bash
# Builds Quorvane and runs it.
#
#   scripts/run.sh                   the demo: a private Samba domain on loopback, a separate
#                                    home folder, the panel (or, without a display, a logon,
#                                    a status and a logout on the command line)
#   scripts/run.sh --server NAME     the program for your own server and your own home folder
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
build=${BUILD_DIR:-build}

server=""
while [ $# -gt 0 ]; do
    case "$1" in
        --server) server=${2:-}; shift 2 || { echo "run.sh: --server needs a name" >&2; exit 2; } ;;
        -h|--help) sed -n '2,/^[^#]/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) echo "run.sh: unknown argument: $1" >&2; exit 2 ;;
    esac
done

"$top/scripts/install-deps.sh" --demo
# Configured once; the build itself configures again when a CMake file changed. The tests and
# benchmarks are scripts/test.sh's business.
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
fi
# Everything the package holds (icons, manual page) is built too: `cpack -G DEB` in the build
# folder works right after.
cmake --build "$build" -j"${JOBS:-2}"

if [ -z "$server" ]; then
    exec "$top/scripts/demo.sh" --build "$build"
fi

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Starting Quorvane; type $server into the panel's server field."
    exec "$build/bin/quorvane"
fi
echo "No display: use the command line, for example"
echo "  $build/bin/quorvane logon --server $server --user NAME"
echo "  $build/bin/quorvane status"
echo "  $build/bin/quorvane logout"
exec "$build/bin/quorvane" --help

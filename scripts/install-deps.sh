#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Quorvane needs.
# Idempotent: packages that are present already are left alone.
#
#   scripts/install-deps.sh            run time, build and tests (the default)
#   scripts/install-deps.sh --demo     what scripts/run.sh needs: build the program, run the demo
#   scripts/install-deps.sh --runtime  only what the installed program needs to run
set -euo pipefail

# What the program needs at run time. The Debian package states the same (its Depends come
# from the binaries' libraries plus the mount back-end); the README lists them.
runtime_packages=(
  libqt6widgets6 libqt6svg6 libqt6dbus6 qt6-qpa-plugins qt6-translations-l10n libqt6keychain1
  libicu72
  fuse3 libsmbclient
  xdg-utils
)

# What building the program needs on top, and the demo's private Samba server.
build_packages=(
  build-essential cmake ninja-build pkg-config
  libicu-dev qt6-base-dev qt6-svg-dev libgl-dev qt6-base-dev-tools qt6-l10n-tools
  qtkeychain-qt6-dev
  libfuse3-dev libsmbclient-dev
)
demo_packages=(samba libnss-wrapper libuid-wrapper)
# What the tests, the package check, the screenshots and the macOS check need as well.
test_packages=(
  clang-format dpkg-dev file lintian libgtest-dev libbenchmark-dev clang libclang-rt-14-dev lld
  smbclient
  xvfb xauth trayer xdotool imagemagick x11-utils fonts-dejavu-core
  dbus dbus-x11 dunst gnome-keyring libsecret-tools at-spi2-core python3-pyatspi python3
  procps psmisc time passwd
  samba-ad-dc samba-ad-provision krb5-user iproute2 util-linux
)

packages=("${runtime_packages[@]}")
case "${1:-}" in
--runtime) ;;
--demo) packages+=("${build_packages[@]}" "${demo_packages[@]}") ;;
"")
  packages+=("${build_packages[@]}" "${demo_packages[@]}" "${test_packages[@]}")
  # The macOS compile check fetches its compiler with npm. Machines that carry Node.js from
  # elsewhere have npm already, and Debian's npm package would conflict with it.
  command -v npm >/dev/null 2>&1 || packages+=(npm)
  ;;
*) echo "install-deps: unknown argument: $1" >&2; exit 2 ;;
esac

# One question to dpkg for all of them: the check runs on every start of the demo.
# dpkg-query exits 1 when any of them is unknown to dpkg: that is the answer, not a failure.
installed=$({ dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true; } |
  awk '$NF == "installed" { print $1 }')
missing=()
for p in "${packages[@]}"; do
  grep -qxF "$p" <<<"$installed" || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    exec sudo "$0" "$@"
  fi
  echo "install-deps: missing packages (${missing[*]}); run this script as root" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"

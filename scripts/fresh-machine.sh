#!/usr/bin/env bash
# Tries the README's two commands as a new user would: a minimal Debian 12 root is made from the
# package archive (nothing else on it), this repository's committed HEAD is cloned into /root
# there, and scripts/test.sh and scripts/run.sh (no display: the command-line demo) run as root;
# then scripts/run.sh runs from a clone of an ordinary user with sudo. Each step prints its time.
# Slow (it installs everything and builds three times): run it before a change to installing,
# packaging or the scripts is called done. Needs root; installs mmdebstrap when missing.
#
#   scripts/fresh-machine.sh [DIR]     DIR: an empty or new folder for the root (default: a new
#                                      one under /var/tmp), removed at the end unless KEEP=1
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "fresh-machine: needs root (it makes a root file system)" >&2; exit 1; }
root=${1:-$(mktemp -d /var/tmp/quorvane-fresh-XXXXXX)}
mkdir -p "$root" && chmod 0755 "$root" # its /
user=dev
started=$SECONDS

cleanup() {
    if [ "${KEEP:-}" = 1 ]; then
        echo "fresh-machine: the root is kept in $root"
    elif ! grep -qF " $root" /proc/self/mountinfo; then
        rm -rf --one-file-system "$root"
    fi
}
trap cleanup EXIT

# Runs a command in the root, in mount and pid namespaces of its own: what is mounted for it
# and whatever it leaves running end with it. /dev is a private one with /dev/fuse open to
# every user, as on a desktop; / is a mount point of its own, which unshare inside needs.
in_root() {
    # shellcheck disable=SC2016 # expanded by the inner shell
    unshare --mount --pid --fork --propagation private -- bash -euc '
        r=$1; shift
        mount --bind "$r" "$r"
        mount -t proc proc "$r/proc"
        mount --rbind /sys "$r/sys"
        mount -t tmpfs -o mode=0755 dev "$r/dev"
        for d in null zero full random urandom tty; do
            touch "$r/dev/$d"
            mount --bind "/dev/$d" "$r/dev/$d"
        done
        mknod -m 0666 "$r/dev/fuse" c 10 229
        mkdir "$r/dev/pts" "$r/dev/shm"
        mount -t devpts -o newinstance,ptmxmode=0666 devpts "$r/dev/pts"
        mount -t tmpfs -o mode=1777 shm "$r/dev/shm"
        ln -s pts/ptmx "$r/dev/ptmx"
        ln -s /proc/self/fd "$r/dev/fd"
        ln -s /proc/self/fd/0 "$r/dev/stdin"
        ln -s /proc/self/fd/1 "$r/dev/stdout"
        ln -s /proc/self/fd/2 "$r/dev/stderr"
        mount -t tmpfs -o mode=0755 run "$r/run"
        mount -t tmpfs -o mode=1777 tmp "$r/tmp"
        exec chroot "$r" "$@"' in_root "$root" "$@" </dev/null
}
# A login's environment, no terminal.
as_root() { in_root env -i HOME=/root USER=root LOGNAME=root LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin bash -c "$1"; }
as_user() { in_root runuser -u "$user" -- env -i HOME="/home/$user" USER="$user" LOGNAME="$user" \
    LANG=C.UTF-8 PATH=/usr/local/bin:/usr/bin:/bin bash -c "$1"; }

# A step that fails is named, and the steps after it still run: each tells its own story.
failed=()
step() {
    local name=$1 t=$SECONDS status=0
    shift
    printf '\n== fresh-machine: %s\n' "$name"
    # In the background, so that a step's own commands stop at their first failure: set -e
    # counts for nothing in a command whose status is tested.
    "$@" &
    wait $! || status=$?
    if [ "$status" -ne 0 ]; then
        printf '== fresh-machine: %s: FAILED (exit %d) after %d s\n' "$name" "$status" $((SECONDS - t))
        failed+=("$name")
        return
    fi
    printf '== fresh-machine: %s: ok, %d s\n' "$name" $((SECONDS - t))
}

make_root() {
    command -v mmdebstrap >/dev/null ||
        { apt-get update -q && apt-get install -y -q --no-install-recommends mmdebstrap; }
    mmdebstrap --variant=minbase --include=ca-certificates,git,sudo bookworm "$root"
    ln -sf ../proc/self/mounts "$root/etc/mtab" # fusermount3 -u reads it
    # What this network needs for TLS (a proxy's own CA, npm told to use the system's), as
    # every machine on it has: the macOS check fetches its compiler from the npm registry.
    cp -r /usr/local/share/ca-certificates/. "$root/usr/local/share/ca-certificates/"
    [ ! -f /etc/npmrc ] || cp /etc/npmrc "$root/etc/npmrc"
    in_root update-ca-certificates >/dev/null
    echo "127.0.1.1 $(cat /proc/sys/kernel/hostname)" >>"$root/etc/hosts"
    # What a user would clone from: this repository's committed HEAD.
    git clone -q --bare "$top" "$root/srv/quorvane.git"
    # Open to every user, as a public repository is (git refuses another user's by default).
    git config --file "$root/etc/gitconfig" safe.directory /srv/quorvane.git
}

add_user() {
    as_root "useradd -m -s /bin/bash -G sudo $user &&
        echo '$user ALL=(ALL) NOPASSWD: ALL' >/etc/sudoers.d/$user && chmod 0440 /etc/sudoers.d/$user"
}

step "a minimal Debian 12 root in $root" make_root
[ ${#failed[@]} -eq 0 ] || exit 1
step "root: git clone into /root/quorvane" as_root "git clone -q /srv/quorvane.git /root/quorvane"
step "root: scripts/test.sh" as_root "cd /root/quorvane && scripts/test.sh"
step "root: scripts/run.sh (no display: the command-line demo)" as_root "cd /root/quorvane && scripts/run.sh"
step "root: no system Samba service enabled" as_root \
    "! ls /etc/systemd/system/*.wants/ /etc/rc[2-5].d/ | grep -E 'smbd|nmbd|samba|winbind'"
# libuid-wrapper is needed only by a demo that an ordinary user starts: removed here, the user's
# run installs it through sudo.
step "user $user with sudo (NOPASSWD: no terminal here)" add_user
step "root: apt-get purge libuid-wrapper" as_root "apt-get purge -y -q libuid-wrapper >/dev/null"
step "$user: git clone, scripts/run.sh" as_user \
    "cd && git clone -q /srv/quorvane.git quorvane && cd quorvane && scripts/run.sh"
# Here the build folder is run.sh's own (the root's is scripts/test.sh's release build).
step "$user: cpack -G DEB after scripts/run.sh" as_user \
    "cd ~/quorvane/build && cpack -G DEB >/dev/null && ls quorvane_*.deb"
if [ ${#failed[@]} -ne 0 ]; then
    printf '\n== fresh-machine: %d step(s) FAILED, %d s in all:\n' ${#failed[@]} $((SECONDS - started))
    printf '   %s\n' "${failed[@]}"
    exit 1
fi
printf '\n== fresh-machine: every step passed, %d s in all\n' $((SECONDS - started))

#!/usr/bin/env bash
# A Samba AD domain controller (realm QV.TEST, host dc1.qv.test) in network and mount
# namespaces of its own (the script enters them itself; needs root), and mounts of its netlogon
# share with a Kerberos ticket and without one. Prints KEY=VALUE lines for the test that runs
# it:
#   kerberos-domain.sh DIR TOOLSDIR
set -uo pipefail

namespaces() { echo "$(readlink /proc/self/ns/net) $(readlink /proc/self/ns/mnt)"; }
if [ "${1:-}" != --inside ]; then
  exec unshare --net --mount --propagation private /bin/bash "$0" --inside "$(namespaces)" "$@"
fi
outside=$2
shift 2
dir=$1
tools=$2
realm=QV.TEST
admin_password='Adm1n!pass'

# Everything below changes the namespaces it runs in: never the ones it was started in.
read -r outside_net outside_mnt <<<"$outside"
read -r inside_net inside_mnt <<<"$(namespaces)"
if [ -z "$inside_net" ] || [ -z "$inside_mnt" ] || [ "$inside_net" = "$outside_net" ] ||
  [ "$inside_mnt" = "$outside_mnt" ]; then
  echo "error=no network and mount namespaces of its own"
  exit 1
fi
ip link set lo up || exit 1
mkdir -p "$dir/mnt"
# The controller writes winbindd's socket and pid files under /run/samba whatever its
# configuration says; every smbd on the machine asks a winbindd found there to map its users.
# A tmpfs of this namespace's own keeps them here.
for runtime in /run/samba /var/log/samba; do
  mkdir -p "$runtime" && mount -t tmpfs -o mode=0755 tmpfs "$runtime" ||
    { echo "error=no private $runtime"; exit 1; }
done
samba-tool domain provision --realm=$realm --domain=QV --server-role=dc --dns-backend=NONE \
  --adminpass="$admin_password" --targetdir="$dir" --host-name=dc1 --host-ip=127.0.0.1 \
  --option="interfaces=lo" --option="bind interfaces only=yes" \
  --option="winbindd socket directory=$dir/winbindd" >"$dir/provision.log" 2>&1 ||
  { echo "error=provision failed"; exit 1; }
printf 'Welcome to the domain\n' >"$dir/state/sysvol/qv.test/scripts/welcome.txt" 2>/dev/null ||
  printf 'Welcome to the domain\n' >"$(find "$dir" -type d -name scripts | head -1)/welcome.txt"

# The client's view: the KDC on loopback, the server's name in a hosts file that only this
# mount namespace sees.
cat >"$dir/krb5.conf" <<KRB
[libdefaults]
    default_realm = $realm
    dns_lookup_kdc = false
    dns_lookup_realm = false
    rdns = false
    dns_canonicalize_hostname = false
[realms]
    $realm = {
        kdc = 127.0.0.1
    }
[domain_realm]
    .qv.test = $realm
KRB
printf '127.0.0.1 localhost\n127.0.0.1 dc1.qv.test dc1\n' >"$dir/hosts"
mount --bind "$dir/hosts" /etc/hosts || { echo "error=cannot bind the hosts file"; exit 1; }
export KRB5_CONFIG=$dir/krb5.conf KRB5CCNAME=FILE:$dir/ccache

set -m # the server gets a process group of its own, ended as one below
samba -i -s "$dir/etc/smb.conf" >"$dir/samba.log" 2>&1 &
server=$!
set +m
stop_server() {
  "$tools/umount" "$dir/mnt" >/dev/null 2>&1
  kill -TERM -- "-$server" 2>/dev/null
  for _ in $(seq 1 50); do kill -0 "$server" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL -- "-$server" 2>/dev/null
}
trap stop_server EXIT
for port in 88 445; do
  # A domain controller can take a minute to come up on a busy machine.
  for _ in $(seq 1 450); do (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null && break; sleep 0.2; done
done

mount_netlogon() {
  printf '' | "$tools/mount_smbfs" -f 644 "smb://administrator@dc1.qv.test/netlogon" "$dir/mnt" \
    2>"$dir/mount.err"
}

# Without a ticket: refused, with the reason.
mount_netlogon
echo "without-ticket-status=$?"
echo "without-ticket-error=$(cat "$dir/mount.err")"

# A ticket in its last minutes, which the client library will not use: refused, and said so.
echo "$admin_password" | kinit -l 100s administrator@$realm >"$dir/kinit.log" 2>&1 || { echo "error=kinit failed"; exit 1; }
mount_netlogon
echo "short-ticket-status=$?"
echo "short-ticket-error=$(cat "$dir/mount.err")"

echo "$admin_password" | kinit administrator@$realm >"$dir/kinit.log" 2>&1 || { echo "error=kinit failed"; exit 1; }
mount_netlogon
echo "with-ticket-status=$?"
echo "with-ticket-error=$(cat "$dir/mount.err")"
echo "read=$(cat "$dir/mnt/welcome.txt" 2>&1)"
echo "source=$(awk -v m="$dir/mnt" '$5 == m { for (i = 7; i <= NF; i++) if ($i == "-") { print $(i + 2); exit } }' /proc/self/mountinfo)"
echo "service-ticket=$(klist 2>/dev/null | grep -o 'cifs/dc1.qv.test@QV.TEST' | head -1)"
"$tools/umount" "$dir/mnt"
echo "umount-status=$?"

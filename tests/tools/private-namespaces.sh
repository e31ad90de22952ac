# Sourced first by the scripts that run servers and outages of their own: the script enters
# network and mount namespaces of its own (needs root), refuses to go on unless it is in them,
# brings up loopback there and gives Samba private runtime folders (a domain controller writes
# winbindd's socket under /run/samba whatever its configuration says, and every smbd on the
# machine would ask a winbindd found there). The script's own arguments follow in "$@".
namespaces() { echo "$(readlink /proc/self/ns/net) $(readlink /proc/self/ns/mnt)"; }
if [ "${1:-}" != --inside ]; then
  exec unshare --net --mount --propagation private /bin/bash "$0" --inside "$(namespaces)" "$@"
fi
read -r outside_net outside_mnt <<<"$2"
shift 2
read -r inside_net inside_mnt <<<"$(namespaces)"
if [ -z "$inside_net" ] || [ -z "$inside_mnt" ] || [ "$inside_net" = "$outside_net" ] ||
  [ "$inside_mnt" = "$outside_mnt" ]; then
  echo "error=no network and mount namespaces of its own"
  exit 1
fi
ip link set lo up || exit 1
for runtime in /run/samba /var/log/samba; do
  mkdir -p "$runtime" && mount -t tmpfs -o mode=0755 tmpfs "$runtime" ||
    { echo "error=no private $runtime"; exit 1; }
done

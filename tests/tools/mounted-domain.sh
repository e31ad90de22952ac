# Sourced first by the scripts of outages under a mounted share: namespaces of the script's own
# (private-namespaces.sh), the test domain of scripts/testdomain.sh started in DIR/domain, and
# alice's home share ($server on the server's disk) mounted on DIR/mnt, served by $daemon. The
# script's arguments begin DIR TOOLSDIR ANY SOURCEDIR. The mount and the server go when the
# script ends, after what it puts in its own function before_cleanup.
. "$(dirname "$0")/private-namespaces.sh"
dir=$1
tools=$2
source=$4
domain=$dir/domain
mnt=$dir/mnt
server=$domain/homes/alice
mkdir -p "$mnt"
chmod 0755 "$dir" # the server reaches the home folders below it as their users
testdomain() { "$source/scripts/testdomain.sh" "$1" "$domain" >/dev/null 2>"$dir/testdomain.err"; }
testdomain start || { echo "error=the test domain did not start: $(cat "$dir/testdomain.err")"; exit 1; }
port=$(cat "$domain/port")
password=$("$source/scripts/testdomain.sh" users "$domain" | awk -F'\t' '$1 == "alice" { print $2 }')

cleanup() {
  declare -F before_cleanup >/dev/null && before_cleanup
  wait
  "$tools/umount" "$mnt" >/dev/null 2>&1
  QUORVANE_TESTDOMAIN_PORT=$port testdomain stop
}
trap cleanup EXIT
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Mounts alice's home on the folder $1 and prints the pid of its daemon.
mount_home() {
  local cmdline found=""
  printf '%s' "$password" | "$tools/mount_smbfs" -f 644 "smb://alice@127.0.0.1:$port/alice" "$1" \
    >/dev/null 2>"$dir/mount.err" || { echo "error=mount failed: $(cat "$dir/mount.err")" >&2; return 1; }
  for cmdline in /proc/[0-9]*/cmdline; do
    if tr '\0' ' ' 2>/dev/null <"$cmdline" | grep -q -- "mount_smbfs --serve .* $1 "; then
      found=$(basename "$(dirname "$cmdline")")
    fi
  done
  [ -n "$found" ] || { echo "error=no mount daemon for $1" >&2; return 1; }
  echo "$found"
}
daemon=$(mount_home "$mnt" 2>&1) || { echo "$daemon"; exit 1; }

#!/usr/bin/env bash
# A Samba AD domain controller (realm QV.TEST, host dc1.qv.test) in network and mount
# namespaces of its own (the script enters them itself; needs root), mounts of its netlogon
# share with a Kerberos ticket and without one (and as an account outside its logon hours),
# and whole logons of the command line: with the Windows name forms and a password, and with
# the ticket alone. Prints KEY=VALUE lines for the test that runs it:
# PROGRAM, when given, is also started as at a desktop login with the ticket.
#   kerberos-domain.sh DIR TOOLSDIR CLI [PROGRAM]
set -uo pipefail

. "$(dirname "$0")/private-namespaces.sh"
repo=$(cd "$(dirname "$0")/../.." && pwd)
dir=$1
tools=$2
cli=$3
program=${4:-}
realm=QV.TEST
admin_password='Adm1n!pass'

mkdir -p "$dir/mnt"
samba-tool domain provision --realm=$realm --domain=QV --server-role=dc --dns-backend=NONE \
  --adminpass="$admin_password" --targetdir="$dir" --host-name=dc1 --host-ip=127.0.0.1 \
  --option="interfaces=lo" --option="bind interfaces only=yes" >"$dir/provision.log" 2>&1 ||
  { echo "error=provision failed"; exit 1; }
scripts=$dir/state/sysvol/qv.test/scripts
[ -d "$scripts" ] || scripts=$(find "$dir" -type d -name scripts | head -1)
printf 'Welcome to the domain\n' >"$scripts/welcome.txt"
# What a whole logon reads: the administrator's home share with its logon script, the share
# map on netlogon, and the one group share that it gives this platform.
printf 'Public:linux:staff\r\nAdmins:linux:nobody\r\n' >"$scripts/shares.ini"
mkdir -p "$dir/shares/administrator" "$dir/shares/Public"
printf '@echo off\r\nset GROUPS=staff\r\n' >"$dir/shares/administrator/mac.bat"
printf 'For everyone\n' >"$dir/shares/Public/public.txt"
cat >>"$dir/etc/smb.conf" <<CONF

[administrator]
	path = $dir/shares/administrator
	read only = no

[Public]
	path = $dir/shares/Public
	read only = no
CONF

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
client=$dir/client
mkdir -p "$client"
stop_server() {
  "$tools/umount" "$dir/mnt" >/dev/null 2>&1
  for share in "$client"/smbmounts/* "$dir"/desk/smbmounts/*; do "$tools/umount" "$share" >/dev/null 2>&1; done
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

# A whole logon of the command line as a user whose home folder is $client, then a logout:
#   logon KEY SERVER USER PASSWORD
logon() {
  local out
  out=$(printf '%s' "$4" | HOME=$client "$cli" logon --server "$2" --user "$3" 2>"$dir/logon.err")
  echo "$1-status=$?"
  echo "$1-first=$(printf '%s\n' "$out" | head -1)"
  echo "$1-last=$(printf '%s\n' "$out" | tail -1)"
  echo "$1-error=$(head -1 "$dir/logon.err")"
  echo "$1-shares=$(ls "$client/smbmounts" 2>/dev/null | tr '\n' ' ')"
  echo "$1-read=$(cat "$client/smbmounts/Public/public.txt" 2>&1)"
  HOME=$client "$cli" logout >/dev/null 2>&1
  echo "$1-logout-status=$?"
}

# Without a ticket: refused, with the reason.
mount_netlogon
echo "without-ticket-status=$?"
echo "without-ticket-error=$(cat "$dir/mount.err")"
logon no-ticket dc1.qv.test administrator ''
# An account whose logon hours allow no logon: the server refuses it for the hours with the
# right password, and for the password with a wrong one.
#   pupil_hours BYTE    (each of the week's 168 hours: 0 closed, 255 open)
pupil_hours() {
  /usr/bin/python3 - "$dir/etc/smb.conf" "$dir/private/sam.ldb" "$1" >>"$dir/pupil.log" 2>&1 <<'PY'
import sys, ldb
from samba.auth import system_session
from samba.param import LoadParm
from samba.samdb import SamDB
settings = LoadParm()
settings.load(sys.argv[1])
db = SamDB(url=sys.argv[2], session_info=system_session(), lp=settings)
change = ldb.Message(db.search(expression="(sAMAccountName=pupil)", attrs=[])[0].dn)
hours = bytes([int(sys.argv[3])] * 21)
change["logonHours"] = ldb.MessageElement(hours, ldb.FLAG_MOD_REPLACE, "logonHours")
db.modify(change)
PY
}
mount_pupil() {
  printf '%s' "$1" | "$tools/mount_smbfs" -f 644 "smb://pupil@dc1.qv.test/netlogon" "$2" 2>"$dir/mount.err"
}
samba-tool user create pupil "$admin_password" -H "$dir/private/sam.ldb" >"$dir/pupil.log" 2>&1 &&
  pupil_hours 0 || { echo "error=cannot make the pupil account"; exit 1; }
mount_pupil "$admin_password" "$dir/mnt"
echo "outside-hours-status=$?"
echo "outside-hours-error=$(cat "$dir/mount.err")"
mount_pupil wrong "$dir/mnt"
echo "outside-hours-wrong-password-status=$?"
# Mounted within the hours, checked after they closed: the server does not answer the share,
# it did not refuse the password. The server serves pupil as a user of its own, who must be
# able to pass through this folder to reach the share.
chmod 0755 "$dir"
pupil_hours 255 || { echo "error=cannot open the pupil account's hours"; exit 1; }
mkdir -p "$client/smbmounts/pupil"
mount_pupil "$admin_password" "$client/smbmounts/pupil"
echo "within-hours-status=$?"
echo "within-hours-error=$(cat "$dir/mount.err")"
pupil_hours 0 || { echo "error=cannot close the pupil account's hours"; exit 1; }
echo "closed-hours-status=$(HOME=$client "$cli" status 2>&1 | grep '  pupil ')"
# Its connections dropped by the server meanwhile: a call logs on again, is refused for the
# hours and fails at once (EACCES).
smbcontrol -s "$dir/etc/smb.conf" smbd kill-client-ip 127.0.0.1 >/dev/null 2>&1
started=$SECONDS
cat "$client/smbmounts/pupil/welcome.txt" >/dev/null 2>"$dir/read.err"
echo "closed-hours-read-status=$?"
echo "closed-hours-read-seconds=$((SECONDS - started))"
echo "closed-hours-read-error=$(cat "$dir/read.err")"
# Open again: the same password logs on, it was never taken for a refused one.
pupil_hours 255 || { echo "error=cannot open the pupil account's hours"; exit 1; }
echo "reopened-hours-read=$(cat "$client/smbmounts/pupil/welcome.txt" 2>&1)"
"$tools/umount" "$client/smbmounts/pupil" >/dev/null 2>&1
rmdir "$client/smbmounts/pupil"
# The Windows name forms, with the password: the domain goes to the server.
logon backslash '\\dc1.qv.test\netlogon' 'QV\administrator' "$admin_password"
logon upn dc1.qv.test administrator@QV.TEST "$admin_password"

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
# The ticket alone: an empty password.
logon ticket dc1.qv.test administrator ''

# The desktop's login with the ticket and no kept password: the program started as the
# autostart entry starts it, with "Log on automatically" on.
if [ -n "$program" ]; then
  desk=$dir/desk
  mkdir -p "$desk/.config/Quorvane"
  printf '[General]\nhasLaunchedBefore=true\nlogOnAutomatically=true\n%s\n%s\n' \
    savedServerAddress=dc1.qv.test savedUserName=administrator >"$desk/.config/Quorvane/Quorvane.conf"
  HOME=$desk "$repo/tests/support/with-secret-service.sh" "$repo/tests/app/autostart-desk.sh" \
    "$program" /tmp/quorvane-autostart-ticket.png 2>"$dir/desk.err" | sed 's/^/desk-/'
fi

# A ticket that runs out while the shares are mounted: once the server ends the session, the
# share gives errors and status names the ticket; kinit alone brings it back, without a logon.
# There is no event for a ticket's end, so both waits look once a second, within a bound.
public=$client/smbmounts/Public/public.txt
read_public() { timeout 30 cat "$public" 2>/dev/null; }
echo "$admin_password" | kinit -l 150s administrator@$realm >"$dir/kinit.log" 2>&1 || { echo "error=kinit failed"; exit 1; }
printf '' | HOME=$client "$cli" logon --server dc1.qv.test --user administrator >"$dir/expiry.log" 2>&1
echo "expiry-logon-status=$?"
echo "expiry-read-before=$(read_public)"
started=$SECONDS
while [ "$(read_public)" = "For everyone" ] && [ $((SECONDS - started)) -lt 400 ]; do sleep 1; done
echo "expiry-failed-after=$((SECONDS - started))"
echo "expiry-status=$(HOME=$client "$cli" status 2>&1 | grep '  Public ')"
echo "$admin_password" | kinit administrator@$realm >"$dir/kinit.log" 2>&1 || { echo "error=kinit failed"; exit 1; }
started=$SECONDS
while [ "$(read_public)" != "For everyone" ] && [ $((SECONDS - started)) -lt 60 ]; do sleep 0.5; done
echo "expiry-read-after-kinit=$(read_public)"
HOME=$client "$cli" logout >/dev/null 2>&1
echo "expiry-logout-status=$?"

#!/usr/bin/env bash
# The test domain started by an ordinary user, as the demo of a user with sudo starts it: every
# demo user reads and writes their home share, a group share of theirs takes a file, no one
# gets into another's home, and stop ends every process of the domain. Needs root (to act as
# that user) and smbclient.
# shellcheck disable=SC2016 # the checks expand their variables later
set -euo pipefail

top=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" -eq 0 ] || { echo "testdomain-user: needs root to act as another user; skipped"; exit 0; }
# An id that no account or group has: the files of the domain are that id's alone.
uid=4000
while getent passwd "$uid" >/dev/null || getent group "$uid" >/dev/null; do uid=$((uid + 1)); done
work=$(mktemp -d)
chmod 0755 "$work"
cd "$work" # the clone may lie in a folder the user cannot enter (/root)
cp "$top/scripts/testdomain.sh" "$work/"
install -d -o "$uid" -g "$uid" "$work/user"
domain="$work/user/domain"
as_user() { setpriv --reuid="$uid" --regid="$uid" --clear-groups env HOME="$work/user" "$@"; }
cleanup() {
  as_user "$work/testdomain.sh" stop "$domain" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
failures=0 passed=0
check() { # NAME CONDITION...
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else
    failures=$((failures + 1))
    printf 'FAILED: %s\n%s\n' "$name" "$out"
  fi
}
# smbclient as USER on SHARE running COMMANDS; its output in $out.
smb() {
  printf 'username = %s\npassword = %s\n' "$1" "$(awk -F'\t' -v u="$1" '$1 == u { print $2 }' "$work/users")" \
    >"$work/auth"
  out=$(smbclient "//127.0.0.1/$2" -p "$QUORVANE_TESTDOMAIN_PORT" -A "$work/auth" -c "$3" 2>&1)
}

out=$(as_user "$work/testdomain.sh" start "$domain" 2>&1) || { echo "$out"; exit 1; }
eval "$out"
"$work/testdomain.sh" users "$domain" >"$work/users"

# user, a group share of theirs
while read -r name share; do
  rm -f "$work/got"
  check "$name reads and writes the home share" \
    smb "$name" "$name" "get readme.txt $work/got; put $work/users new.txt; ls new.txt"
  check "$name's home share gave readme.txt" grep -qx "Home of $name" "$work/got"
  [ "$share" = - ] || check "$name writes to $share" smb "$name" "$share" "put $work/users $name.txt"
done <<'TABLE'
alice Staff Public
bob Admin
carol -
mallory -
TABLE
check "mallory cannot open alice's home" eval '! smb mallory alice ls'
check "alice cannot write to Admin" eval '! smb alice Admin "put $work/users x.txt"'

as_user "$work/testdomain.sh" stop "$domain"
check "stop ends every process of the domain" \
  eval '! grep -lqa -- "$domain/smb.conf" /proc/[0-9]*/cmdline 2>/dev/null'

echo "testdomain-user: $passed passed, $failures failed"
[ "$failures" -eq 0 ]

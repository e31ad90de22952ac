#!/usr/bin/env bash
# A private SMB domain server on loopback for tests, benchmarks and the demo.
#
#   testdomain.sh start [DIR]   build DIR (default $QUORVANE_TESTDOMAIN_DIR or
#                               /tmp/quorvane-testdomain) and start smbd on a free port
#   testdomain.sh stop [DIR]    stop exactly the processes started for DIR, then keep DIR
#   testdomain.sh env [DIR]     print QUORVANE_TESTDOMAIN_* assignments for a running domain
#   testdomain.sh users [DIR]   print "user<TAB>password<TAB>groups" for every demo user
#   testdomain.sh clean [DIR]   stop, then remove DIR
#   testdomain.sh passwd DIR USER   give USER the password read from standard input (one line)
#   testdomain.sh drop DIR          end every client's sessions with the server
#
# Everything Samba keeps lives under DIR; users come from nss_wrapper files under DIR, so
# neither /etc/passwd nor the system's Samba is touched. Set QUORVANE_TESTDOMAIN_PORT to
# choose the port. Run as a normal user, smbd also gets uid_wrapper.
set -euo pipefail

command_word=${1:-}
dir=${2:-${QUORVANE_TESTDOMAIN_DIR:-/tmp/quorvane-testdomain}}

smbd_bin=/usr/sbin/smbd
smbpasswd_bin=/usr/bin/smbpasswd
nss_wrapper_lib=""
uid_wrapper_lib=""
for d in /usr/lib/x86_64-linux-gnu /usr/lib/aarch64-linux-gnu /usr/lib64 /usr/lib; do
  [ -z "$nss_wrapper_lib" ] && [ -e "$d/libnss_wrapper.so" ] && nss_wrapper_lib="$d/libnss_wrapper.so"
  [ -z "$uid_wrapper_lib" ] && [ -e "$d/libuid_wrapper.so" ] && uid_wrapper_lib="$d/libuid_wrapper.so"
done

# The demo users. Every password holds a space, ":", "@", "%", "/" and a letter outside
# ASCII, so that each one exercises the URL encoding and the password pipe.
#   name      uid   password                  groups in mac.bat (empty: no mac.bat)
users_table() {
  cat <<'EOF'
alice	2001	Blåbær pie: 5@4 %z/y	Staff: Science Dept :YEAR10
bob	2002	Ünïcode 1:2@3%4/5 ok	admins:staff
carol	2003	Çarol pa:ss@ %/x	
mallory	2004	Mål ory:@ %/ 9	hostile
EOF
}

# Group shares and the Unix group whose members may use each ("" = every demo user).
shares_table() {
  cat <<'EOF'
Science	science
Staff Public	staff
Year10	science
Projects	staff
Media	science
Admin	admins
Library	staff
EOF
  extra_shares | while read -r share; do printf '%s\tstaff\n' "$share"; done
}

# QUORVANE_TESTDOMAIN_EXTRA_SHARES=N adds the staff shares Extra01..ExtraN (on every platform),
# for a desk with many shares mounted.
extra_shares() {
  local i
  for ((i = 1; i <= ${QUORVANE_TESTDOMAIN_EXTRA_SHARES:-0}; i++)); do printf 'Extra%02d\n' "$i"; done
}

shares_ini() {
  cat <<'EOF'
# Quorvane test domain: group shares per platform and group
Science:linux,osx,win:Science, Year10
  Staff Public :LINUX: STAFF
Year10:linux:year10
Projects:osx,linux:staff
Media:win,linux:science dept
Admin:linux:admins
Library:win,osx:staff
Data:linux
# Names that must never become a folder outside ~/smbmounts
:linux:hostile
.:linux:hostile
..:linux:hostile
a/b:linux:hostile
../x:linux:hostile
EOF
  extra_shares | while read -r share; do printf '%s:linux,osx,win:staff\n' "$share"; done
}

die() {
  echo "testdomain: $*" >&2
  exit 1
}

wrapper_env() {
  # Under nss_wrapper, Samba looks for winbindd in SELFTEST_WINBINDD_SOCKET_DIR instead of the
  # host's /run/samba, where a domain controller started by another test may be answering.
  local -a e=(LD_PRELOAD="$nss_wrapper_lib" NSS_WRAPPER_PASSWD="$dir/etc/passwd"
    NSS_WRAPPER_GROUP="$dir/etc/group" SELFTEST_WINBINDD_SOCKET_DIR="$dir/winbindd")
  if [ "$(id -u)" -ne 0 ]; then
    e=(LD_PRELOAD="$nss_wrapper_lib:$uid_wrapper_lib" "${e[@]:1}" UID_WRAPPER=1 UID_WRAPPER_ROOT=1)
  fi
  printf '%s\n' "${e[@]}"
}

run_wrapped() {
  local -a e
  mapfile -t e < <(wrapper_env)
  env "${e[@]}" "$@"
}

# True when something listens on TCP port $1, read from /proc without tools: on IPv4 or IPv6,
# or with "ipv4", on IPv4 (where the clients connect).
port_listening() {
  local hex tables="/proc/net/tcp /proc/net/tcp6"
  hex=$(printf '%04X' "$1")
  [ "${2:-}" = ipv4 ] && tables=/proc/net/tcp
  # shellcheck disable=SC2086
  awk -v p="$hex" 'FNR > 1 { split($2, a, ":"); if (a[2] == p && $4 == "0A") found = 1 }
    END { exit found ? 0 : 1 }' $tables 2>/dev/null
}

# A port no one listens on, below the kernel's range for the local ends of connections: a
# port there may be the local end of some client's connection, and smbd could then bind it
# on IPv6 only.
pick_port() {
  if [ -n "${QUORVANE_TESTDOMAIN_PORT:-}" ]; then
    echo "$QUORVANE_TESTDOMAIN_PORT"
    return
  fi
  local p tries=0 first=10000 span=22000 low high
  if read -r low high </proc/sys/net/ipv4/ip_local_port_range 2>/dev/null; then
    if [ "$low" -gt $((first + 1000)) ]; then
      span=$((low - first))
    elif [ "$high" -lt 64535 ]; then
      first=$((high + 1))
      span=$((65535 - high))
    fi
  fi
  while [ $tries -lt 200 ]; do
    p=$((first + RANDOM % span))
    if ! port_listening "$p"; then
      echo "$p"
      return
    fi
    tries=$((tries + 1))
  done
  die "no free port found"
}

# Started by an ordinary user, smbd runs under uid_wrapper and only believes it is root: every
# file below DIR stays that user's, and smbd would refuse the demo users their own homes. Then
# the shares are used as the account of that user's id, whom smbd sees as the files' owner.
force_user() { [ "$(id -u)" -eq 0 ] || echo "    force user = testdomain-owner"; }

write_config() {
  local port=$1
  mkdir -p "$dir"/{etc,private,lock,state,cache,pid,ncalrpc,winbindd,log,homes,shares}
  chmod 0755 "$dir" "$dir/homes" "$dir/shares"
  # Run by root, smbd works as each demo user, who must reach the shares.
  if [ "$(id -u)" -eq 0 ] && ! setpriv --reuid=65534 --regid=65534 --clear-groups test -x "$dir/homes"; then
    die "other users cannot reach $dir (a folder above it is closed to them): choose another"
  fi
  local my_uid my_gid
  my_uid=$(id -u) my_gid=$(id -g)
  {
    echo "root:x:0:0:root:/root:/bin/false"
    echo "nobody:x:65534:65534:nobody:/nonexistent:/bin/false"
    [ "$my_uid" -eq 0 ] || echo "testdomain-owner:x:$my_uid:$my_gid::$dir:/bin/false"
    while IFS=$'\t' read -r name uid _ _; do
      echo "$name:x:$uid:$uid:$name:$dir/homes/$name:/bin/false"
    done < <(users_table)
  } >"$dir/etc/passwd"
  {
    echo "root:x:0:"
    echo "nogroup:x:65534:"
    [ "$my_uid" -eq 0 ] || echo "testdomain-owner:x:$my_gid:"
    while IFS=$'\t' read -r name uid _ _; do echo "$name:x:$uid:"; done < <(users_table)
    echo "staff:x:3001:alice,bob"
    echo "science:x:3002:alice"
    echo "admins:x:3003:bob"
    echo "hostile:x:3004:mallory"
  } >"$dir/etc/group"

  cat >"$dir/smb.conf" <<EOF
[global]
    workgroup = QUORVANE
    netbios name = QVTESTDC
    server role = standalone server
    security = user
    map to guest = never
    smb ports = $port
    interfaces = lo
    bind interfaces only = yes
    disable netbios = yes
    server min protocol = SMB2_10
    load printers = no
    printing = bsd
    printcap name = /dev/null
    disable spoolss = yes
    passdb backend = tdbsam:$dir/private/passdb.tdb
    private dir = $dir/private
    lock directory = $dir/lock
    state directory = $dir/state
    cache directory = $dir/cache
    pid directory = $dir/pid
    ncalrpc dir = $dir/ncalrpc
    winbindd socket directory = $dir/winbindd
    log file = $dir/log/%m.log
    log level = 1 auth_audit:3
    max log size = 1000
    unix extensions = no
    create mask = 0664
    directory mask = 0775

[homes]
    path = $dir/homes/%S
    valid users = %S
    browseable = no
    read only = no
$(force_user)

[netlogon]
    path = $dir/shares/netlogon
    read only = yes
EOF
  while IFS=$'\t' read -r share group; do
    cat >>"$dir/smb.conf" <<EOF

[$share]
    path = $dir/shares/$share
    valid users = @$group
    force group = $group
    read only = no
$(force_user)
EOF
  done < <(shares_table)
}

write_files() {
  mkdir -p "$dir/shares/netlogon"
  shares_ini >"$dir/shares/netlogon/shares.ini"
  chmod 0755 "$dir/shares/netlogon"
  chmod 0644 "$dir/shares/netlogon/shares.ini"
  while IFS=$'\t' read -r name uid _ groups; do
    mkdir -p "$dir/homes/$name"
    if [ -n "$groups" ]; then
      printf 'echo off\r\nnet use H: /home\r\nset GROUPS=%s\r\n' "$groups" >"$dir/homes/$name/mac.bat"
    fi
    printf 'Home of %s\n' "$name" >"$dir/homes/$name/readme.txt"
    [ "$(id -u)" -ne 0 ] || chown -R "$uid:$uid" "$dir/homes/$name"
    chmod 0700 "$dir/homes/$name"
  done < <(users_table)
  local gid
  while IFS=$'\t' read -r share group; do
    mkdir -p "$dir/shares/$share"
    printf 'Welcome to %s\n' "$share" >"$dir/shares/$share/welcome.txt"
    gid=$(awk -F: -v g="$group" '$1 == g { print $3 }' "$dir/etc/group")
    [ "$(id -u)" -ne 0 ] || chown -R "0:$gid" "$dir/shares/$share"
    chmod 2775 "$dir/shares/$share"
    chmod 0664 "$dir/shares/$share/welcome.txt"
  done < <(shares_table)
}

add_users() {
  while IFS=$'\t' read -r name _ password _; do
    printf '%s\n%s\n' "$password" "$password" |
      run_wrapped "$smbpasswd_bin" -c "$dir/smb.conf" -s -a "$name" >"$dir/log/smbpasswd.out" 2>&1 ||
      die "smbpasswd failed for $name: $(cat "$dir/log/smbpasswd.out")"
  done < <(users_table)
}

# Pids of every process whose command line names this domain's smb.conf: smbd, its children,
# and the samba-dcerpcd that a client listing can start in a session of its own.
domain_pids() {
  # "smb.con[f]" as a pattern never matches grep's own argument list.
  local pattern
  pattern="$(printf '%s' "$dir" | sed 's/[][\\.*^$]/\\&/g')/smb\\.con[f]"
  grep -la -- "$pattern" /proc/[0-9]*/cmdline 2>/dev/null | sed -n 's|^/proc/\([0-9]*\)/cmdline$|\1|p' || true
}

do_stop() {
  [ -f "$dir/smb.conf" ] || return 0
  local pids remaining i
  pids=$(domain_pids | tr '\n' ' ')
  if [ -n "${pids// /}" ]; then
    # shellcheck disable=SC2086
    kill -TERM $pids 2>/dev/null || true
    for i in $(seq 1 50); do
      remaining=$(domain_pids | tr '\n' ' ')
      [ -z "${remaining// /}" ] && break
      sleep 0.1
    done
    remaining=$(domain_pids | tr '\n' ' ')
    if [ -n "${remaining// /}" ]; then
      # shellcheck disable=SC2086
      kill -KILL $remaining 2>/dev/null || true
    fi
  fi
  rm -f "$dir/port"
}

do_start() {
  [ -x "$smbd_bin" ] || die "smbd not found: install the samba package (scripts/install-deps.sh)"
  [ -n "$nss_wrapper_lib" ] || die "libnss_wrapper.so not found: install libnss-wrapper"
  if [ "$(id -u)" -ne 0 ] && [ -z "$uid_wrapper_lib" ]; then
    die "libuid_wrapper.so not found: install libuid-wrapper"
  fi
  do_stop
  local port attempt
  for attempt in 1 2 3; do
    port=$(pick_port)
    write_config "$port"
    write_files
    add_users
    run_wrapped "$smbd_bin" -D -s "$dir/smb.conf" </dev/null >/dev/null 2>&1 || true
    local i
    for i in $(seq 1 100); do
      if port_listening "$port" ipv4 && [ -n "$(domain_pids)" ]; then
        echo "$port" >"$dir/port"
        print_env
        return 0
      fi
      sleep 0.05
    done
    do_stop
    [ -n "${QUORVANE_TESTDOMAIN_PORT:-}" ] && break
  done
  die "smbd did not start; see $dir/log"
}

# Shell assignments, each value quoted so that `eval` takes a folder with blanks or "$(" as
# plain text.
print_env() {
  [ -f "$dir/port" ] || die "not running: $dir"
  local port
  port=$(cat "$dir/port")
  printf 'QUORVANE_TESTDOMAIN_DIR=%q\n' "$dir"
  printf 'QUORVANE_TESTDOMAIN_HOST=%q\n' 127.0.0.1
  printf 'QUORVANE_TESTDOMAIN_PORT=%q\n' "$port"
  printf 'QUORVANE_TESTDOMAIN_SERVER=%q\n' "127.0.0.1:$port"
}

print_users() {
  while IFS=$'\t' read -r name _ password groups; do
    printf '%s\t%s\t%s\n' "$name" "$password" "$groups"
  done < <(users_table)
}

case "$command_word" in
start) do_start ;;
stop) do_stop ;;
env) print_env ;;
users) print_users ;;
passwd)
  [ -n "${3:-}" ] || die "passwd: which user?"
  IFS= read -r new_password
  printf '%s\n%s\n' "$new_password" "$new_password" |
    run_wrapped "$smbpasswd_bin" -c "$dir/smb.conf" -s "$3" >"$dir/log/smbpasswd.out" 2>&1 ||
    die "smbpasswd failed for $3: $(cat "$dir/log/smbpasswd.out")"
  ;;
drop)
  # Every session comes from loopback: smbd closes them all, as a server does that ends a
  # user's sessions after a password change.
  run_wrapped smbcontrol -s "$dir/smb.conf" smbd kill-client-ip 127.0.0.1 >"$dir/log/smbcontrol.out" 2>&1 ||
    die "smbcontrol failed; see $dir/log/smbcontrol.out"
  ;;
clean)
  do_stop
  case "$dir" in
  "" | / | "${HOME:-/}") die "refusing to remove $dir" ;;
  esac
  if grep -qF " $dir/" /proc/self/mountinfo 2>/dev/null; then
    die "something is still mounted below $dir; not removing it"
  fi
  rm -rf --one-file-system "$dir"
  ;;
*)
  sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'
  [ "$command_word" = help ] || [ "$command_word" = --help ] || exit 2
  ;;
esac

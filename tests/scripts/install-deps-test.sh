#!/usr/bin/env bash
# scripts/install-deps.sh against stand-ins of dpkg-query, apt-get, systemctl, id and sudo, on
# a folder of its own as the system's root: what it installs, what it says, that no service
# starts during the install, and which boot links of the system's Samba it takes back.
# shellcheck disable=SC2016,SC2034 # the stand-ins and the checks expand their variables later
set -euo pipefail

script="$(cd "$(dirname "$0")/../.." && pwd)/scripts/install-deps.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0 passed=0

mkdir -p "$work/bin"
# dpkg-query: every package is installed except those in $work/missing (then it exits 1).
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/bin/bash
status=0
for p in "${@:3}"; do
  if grep -qxF "$p" "$FAKE/missing"; then echo "dpkg-query: no packages found matching $p" >&2; status=1
  else echo "$p install ok installed"; fi
done
exit $status
STANDIN
# apt-get: logs its call; "install" also notes what policy-rc.d answers and enables smbd and
# nmbd as samba's maintainer scripts do.
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/bash
echo "apt-get $*" >>"$FAKE/calls"
if [ "$1" = install ]; then
  "$INSTALL_DEPS_ROOT/usr/sbin/policy-rc.d"; echo "policy-rc.d during install: $?" >>"$FAKE/calls"
  ln -s /lib/systemd/system/smbd.service "$INSTALL_DEPS_ROOT/etc/systemd/system/multi-user.target.wants/"
  ln -s /lib/systemd/system/nmbd.service "$INSTALL_DEPS_ROOT/etc/systemd/system/multi-user.target.wants/"
  ln -s ../init.d/smbd "$INSTALL_DEPS_ROOT/etc/rc2.d/S01smbd"
fi
exit "$(cat "$FAKE/apt-$1-status" 2>/dev/null || echo 0)"
STANDIN
printf '#!/bin/bash\necho "systemctl $*" >>"$FAKE/calls"\n' >"$work/bin/systemctl"
printf '#!/bin/bash\n[ "$1" = -u ] && cat "$FAKE/uid" || exec /usr/bin/id "$@"\n' >"$work/bin/id"
printf '#!/bin/bash\necho "sudo $*" >>"$FAKE/calls"\nexit 1\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*

# One case: a fresh fake system, the setup words, a run; then the checks on what came out.
#   missing PACKAGES | uid N | systemd | policy (a policy-rc.d of the site's) | apt-fails STEP
run_case() {
  export FAKE="$work/case" INSTALL_DEPS_ROOT="$work/case/root"
  rm -rf "$FAKE"
  mkdir -p "$FAKE" "$INSTALL_DEPS_ROOT"/{usr/sbin,etc/rc2.d,etc/systemd/system/multi-user.target.wants}
  : >"$FAKE/missing"
  : >"$FAKE/calls"
  echo 0 >"$FAKE/uid"
  # winbind was enabled before: it stays.
  ln -s /lib/systemd/system/winbind.service "$INSTALL_DEPS_ROOT/etc/systemd/system/multi-user.target.wants/"
  local word
  for word in "$@"; do
    case "$word" in
    missing=*) tr ',' '\n' <<<"${word#missing=}" >"$FAKE/missing" ;;
    uid=*) echo "${word#uid=}" >"$FAKE/uid" ;;
    systemd) mkdir -p "$INSTALL_DEPS_ROOT/run/systemd/system" ;;
    policy) printf '#!/bin/sh\nexit 0\n' >"$INSTALL_DEPS_ROOT/usr/sbin/policy-rc.d" ;;
    apt-fails=*) echo 100 >"$FAKE/apt-${word#apt-fails=}-status" ;;
    esac
  done
  chmod -f +x "$INSTALL_DEPS_ROOT/usr/sbin/policy-rc.d" || true
  status=0
  PATH="$work/bin:$PATH" "$script" --demo </dev/null >"$FAKE/out" 2>&1 || status=$?
  links=$(cd "$INSTALL_DEPS_ROOT/etc" && find systemd rc2.d -type l | sort | tr '\n' ' ')
}
check() { # NAME CONDITION...
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else
    failures=$((failures + 1))
    printf 'FAILED: %s\n  output: %s\n  calls: %s\n  links: %s\n' "$name" "$(cat "$FAKE/out")" \
      "$(cat "$FAKE/calls")" "$links"
  fi
}
has() { grep -q -- "$2" "$FAKE/$1"; }
policy_gone() { [ ! -e "$INSTALL_DEPS_ROOT/usr/sbin/policy-rc.d" ]; }
wants=systemd/system/multi-user.target.wants

run_case
check "nothing missing: nothing done, nothing said" \
  eval '[ $status -eq 0 ] && [ ! -s "$FAKE/calls" ] && [ ! -s "$FAKE/out" ]'

run_case missing=samba,libuid-wrapper
check "the missing packages are installed and named" eval '[ $status -eq 0 ] &&
  has calls "apt-get install -y -q --no-install-recommends samba libuid-wrapper" &&
  has out "installing 2 package(s): samba libuid-wrapper"'
check "no service starts during the install; the stop is removed after" \
  eval 'has calls "policy-rc.d during install: 101" && policy_gone'
check "the boot links the install made are removed, winbind's of before kept" \
  eval '[ "$links" = "$wants/winbind.service " ] && has out "disabled the system.s nmbd smbd again"'

run_case missing=samba systemd
check "with systemd running: systemctl disables what the install enabled" \
  eval '[ $status -eq 0 ] && has calls "^systemctl disable nmbd smbd$" && ! has calls winbind'

run_case missing=samba policy
check "a policy-rc.d of the site's is left as it was" \
  eval '[ $status -eq 0 ] && has calls "policy-rc.d during install: 0" &&
  grep -qx "exit 0" "$INSTALL_DEPS_ROOT/usr/sbin/policy-rc.d"'

run_case missing=samba apt-fails=update
check "apt-get update failing: said, nothing installed" eval '[ $status -eq 1 ] &&
  has out "apt-get update failed" && ! has calls "apt-get install" && policy_gone'

run_case missing=samba apt-fails=install
check "apt-get install failing: said with the packages" \
  eval '[ $status -eq 1 ] && has out "apt-get could not install samba" && policy_gone'

run_case missing=samba uid=1000
check "an ordinary user whose sudo needs a password, no terminal: said how to go on" \
  eval '[ $status -eq 1 ] && has out "NOPASSWD" && has out "samba" && ! has calls apt-get'

echo "install-deps: $passed passed, $failures failed"
[ "$failures" -eq 0 ]

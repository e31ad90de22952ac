#!/usr/bin/env bash
# Shows Quorvane against a private demo domain (scripts/testdomain.sh) on this machine.
#
#   scripts/demo.sh [--build DIR] [--cli]
#
# The program runs with a home folder of its own under the demo folder, so the user's own
# ~/smbmounts is never touched. With a display (DISPLAY or WAYLAND_DISPLAY) and the panel
# built, the panel opens with the demo server filled in: type a printed user name and its
# password. Otherwise (or with --cli) a logon, a status and a logout run through the command
# line. The domain is stopped, and everything mounted for the demo released, on exit.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
. "$top/scripts/lib/demo-users.sh"
build="$top/build"
force_cli=""
while [ $# -gt 0 ]; do
  case "$1" in
  --build) build=$2; shift 2 ;;
  --cli) force_cli=1; shift ;;
  -h | --help) sed -n '2,/^[^#]/p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
  *) echo "demo: unknown argument $1" >&2; exit 2 ;;
  esac
done
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac

if [ -x "$build/bin/quorvane" ]; then
  program="$build/bin/quorvane"
elif [ -x "$build/bin/quorvane-cli" ]; then
  program="$build/bin/quorvane-cli"
else
  echo "demo: no quorvane in $build/bin; build first (cmake -S . -B build && cmake --build build)" >&2
  exit 1
fi

demo=$(mktemp -d /tmp/quorvane-demo-XXXXXX)
chmod 0755 "$demo" # the server's users must reach their folders below it
domain="$demo/domain"
export HOME="$demo/home"
export XDG_CACHE_HOME="$HOME/.cache"
export XDG_CONFIG_HOME="$HOME/.config"
# Qt wants a private runtime folder; a session started without one (su, ssh) gets the demo's.
if [ -z "${XDG_RUNTIME_DIR:-}" ] || [ ! -O "$XDG_RUNTIME_DIR" ]; then
  export XDG_RUNTIME_DIR="$demo/runtime"
  mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
fi
mkdir -p "$HOME"

cleanup() {
  set +e
  "$program" logout >/dev/null 2>&1
  # Whatever is still mounted below the demo home (a share in use) is detached, never deleted.
  local mp
  while IFS= read -r mp; do
    fusermount3 -u -z "$mp" 2>/dev/null
  done < <(awk -v h="$HOME/" 'index($5, h) == 1 { print $5 }' /proc/self/mountinfo | sed 's/\\040/ /g')
  "$top/scripts/testdomain.sh" stop "$domain" >/dev/null 2>&1
  if ! grep -qF " $demo/" /proc/self/mountinfo; then
    rm -rf --one-file-system "$demo"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "== Starting the demo domain"
eval "$("$top/scripts/testdomain.sh" start "$domain")"
server="$QUORVANE_TESTDOMAIN_SERVER"
set_demo_passwords "$domain"
# The demo's own settings: the panel opens with the demo server filled in.
mkdir -p "$XDG_CONFIG_HOME/Quorvane"
printf '[General]\nsavedServerAddress=%s\n' "$server" >"$XDG_CONFIG_HOME/Quorvane/Quorvane.conf"
echo "Server:  $server"
echo "Users, passwords and what a logon as each one shows:"
while IFS=$'\t' read -r name _; do
  printf '  %-8s  %-13s  %s\n' "$name" "$(demo_password "$name")" "$(demo_case "$name")"
done < <("$top/scripts/testdomain.sh" users "$domain")
echo "Home folder for the demo: $HOME (mounts go to $HOME/smbmounts)"

if [ -z "$force_cli" ] && [ "$program" = "$build/bin/quorvane" ] &&
  { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  echo
  echo "== Starting the panel: enter a user and the password above (the server is filled in)."
  echo "   Quit the panel to end the demo; the demo domain stops then."
  "$program"
  exit 0
fi

password=$(demo_password alice)
echo
echo "== quorvane logon --server $server --user alice   (password on standard input)"
status=0
# printf is a shell builtin: the password goes down the pipe without being on any argv.
printf '%s' "$password" | "$program" logon --server "$server" --user alice || status=$?
echo
echo "== quorvane status"
"$program" status || true
if [ -f "$HOME/smbmounts/alice/mac.bat" ]; then
  echo
  echo "== A file of the home share, read through the mount: ~/smbmounts/alice/mac.bat"
  cat "$HOME/smbmounts/alice/mac.bat" | tr -d '\r'
fi
echo
echo "== quorvane logout"
"$program" logout || status=$?
echo
echo "== quorvane status"
"$program" status || true
exit "$status"

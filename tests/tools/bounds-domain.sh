#!/usr/bin/env bash
# Every kind of call on a mounted share while nothing can answer it, in network and mount
# namespaces of the script's own (it enters them itself; needs root): the test domain's server
# processes frozen 40 s, the link down 60 s, and the mount's workers stopped 30 s in the middle
# of a large listing. In each, bounded-calls makes its calls 1.5 s after the outage began (what
# the kernel kept of the files has expired by then) and all of them again once the share
# answers. Prints the lines of bounded-calls, each after the outage's name, then what the
# server holds. OUTAGE is one of frozen-40-s, link-60-s, workers-30-s:
#   bounds-domain.sh DIR TOOLSDIR BOUNDED-CALLS SOURCEDIR OUTAGE
set -uo pipefail

. "$(dirname "$0")/mounted-domain.sh"
calls=$3
which=$5

# Every process of this domain: smbd and its children (as scripts/testdomain.sh finds them).
domain_pids() {
  local pattern
  pattern="$(printf '%s' "$domain" | sed 's/[][\\.*^$]/\\&/g')/smb\\.con[f]"
  grep -la -- "$pattern" /proc/[0-9]*/cmdline 2>/dev/null | sed -n 's|^/proc/\([0-9]*\)/cmdline$|\1|p'
}
# The mount daemon's workers.
worker_pids() {
  local pid
  for pid in $(cat /proc/"$daemon"/task/*/children 2>/dev/null); do
    tr '\0' ' ' 2>/dev/null </proc/"$pid"/cmdline | grep -q -- '--worker' && echo "$pid"
  done
}

stopped=""
program=""
before_cleanup() {
  [ -n "$stopped" ] && kill -CONT $stopped 2>/dev/null
  ip link set lo up
  [ -n "$program" ] && kill "$program" 2>/dev/null
}

# The files the calls use, and a folder whose listing takes a while, as the user's own.
mkdir -p "$server/calls" "$server/large"
printf 'original\n' >"$server/calls/file.txt"
printf 'saved before\n' >"$server/calls/save.txt"
[ "$which" = workers-30-s ] && (cd "$server/large" && seq -f 'entry-%05g' 1 40000 | xargs touch)
chown -R --reference="$server" "$server/calls" "$server/large"

# Waits until FILE has a line WORD, at most SECONDS.
await_line() { # WORD FILE SECONDS
  local until=$(($(now_ms) + $3 * 1000))
  until grep -qx "$1" "$2"; do
    [ "$(now_ms)" -lt "$until" ] || return 1
    sleep 0.02
  done
}

freeze_server() { stopped=$(domain_pids | tr '\n' ' '); kill -STOP $stopped; }
stop_workers() { stopped=$(worker_pids | tr '\n' ' '); kill -STOP $stopped; }
resume() { kill -CONT $stopped; stopped=""; }
link_down() { ip link set lo down; }
link_up() { ip link set lo up; }

# One outage: NAME SECONDS BEGIN END [LARGE-FOLDER]
outage() {
  local name=$1 seconds=$2 begin=$3 end=$4 large=${5:-}
  local out=$dir/$name.out pacing=$dir/$name.in pace began left
  mkfifo "$pacing"
  "$calls" "$mnt/calls" "$name" ${large:+"$mnt/$large"} <"$pacing" >"$out" 2>&1 &
  program=$!
  exec {pace}>"$pacing"
  await_line ready "$out" 120 || { echo "error=$name: the calls did not start: $(cat "$out")"; exit 1; }
  $begin
  began=$(now_ms)
  sleep 1.5
  echo go >&"$pace"
  await_line calls-done "$out" $((seconds + 60)) || { echo "error=$name: calls still running: $(tr "\n" ";" <"$out")"; exit 1; }
  left=$((seconds * 1000 - ($(now_ms) - began)))
  [ "$left" -gt 0 ] && sleep "$(awk -v ms="$left" 'BEGIN { print ms / 1000 }')"
  $end
  # The share answers again before the calls are made again.
  local until=$(($(now_ms) + 90000))
  until ls "$mnt/calls" >/dev/null 2>&1; do
    [ "$(now_ms)" -lt "$until" ] || { echo "error=$name: the share does not answer again"; exit 1; }
    sleep 0.1
  done
  echo back >&"$pace"
  exec {pace}>&-
  wait "$program"
  program=""
  sed "s/^/$name /" "$out"
}

case $which in
  frozen-40-s) outage frozen-40-s 40 freeze_server resume ;;
  link-60-s) outage link-60-s 60 link_down link_up ;;
  workers-30-s) outage workers-30-s 30 stop_workers resume large ;;
  *) echo "error=no such outage: $which"; exit 1 ;;
esac

# What the server holds, and the files it has open: one that a late reply opened is closed
# again by then.
sleep 2
sed 's/^/held-on-server /' "$server/calls/held.txt"
echo "save-on-server $(cat "$server/calls/save.txt")"
for made in "$server"/calls/made-*; do echo "made-on-server $(basename "$made")"; done
# Logons the server saw, the mount's first four included (each connection replaced once an
# outage ends logs on anew).
echo "authentications=$(cat "$domain"/log/*.log 2>/dev/null | grep 'Auth:' | grep -c 'NT_STATUS_OK')"
smbstatus -s "$domain/smb.conf" -L 2>&1 | grep -- "$server" |
  awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^calls\//) print "open-on-server " $i }'

#!/usr/bin/env bash
# Outages under a mounted share, in network and mount namespaces of the script's own (it enters
# them itself; needs root): the test domain's smbd stopped (with no network interface up
# meanwhile), the link down, the mount daemon frozen, while programs hold files open and write
# to them. Prints KEY=VALUE lines:
#   outage-domain.sh DIR TOOLSDIR WRITER SOURCEDIR [short|long]
# "short" (the test): smbd 2 s, link 5 s, freeze 3 s. "long" (by hand, a few minutes): smbd 30 s,
# link 60 s, freeze 120 s, and a write left pending under a 40 s stop.
set -uo pipefail

. "$(dirname "$0")/mounted-domain.sh"
writer=$3
length=${5:-short}
before_cleanup() {
  touch "$dir/stop"
  kill -CONT "${daemon:-0}" 2>/dev/null
}

# Milliseconds from $1 until the share's top folder lists again.
folders_back() {
  until ls "$mnt" >/dev/null 2>&1; do
    kill -0 "$daemon" 2>/dev/null || { echo "daemon-gone"; return; }
    sleep 0.02
  done
  echo $(($(now_ms) - $1))
}
# Milliseconds from $1 until the log writer's first acknowledged write that started after it.
file_back() {
  local line
  for _ in $(seq 1 600); do
    kill -0 "$daemon" 2>/dev/null || break
    line=$(awk -v t="$1" '$2 == "write" && $4 == "ok" && $1 >= t { print $1; exit }' "$dir/log.out")
    [ -n "$line" ] && { echo $((line - $1)); return; }
    sleep 0.05
  done
  echo never
}
report() { # NAME START
  echo "$1-folders-ms=$(folders_back "$2")"
  echo "$1-file-ms=$(file_back "$2")"
}

"$writer" "$mnt/log.txt" 100 "$dir/stop" >"$dir/log.out" 2>&1 &
"$writer" "$mnt/replaced.txt" 100 "$dir/stop" >"$dir/replaced.out" 2>&1 &
sleep 1

if [ "$length" = long ]; then smbd_stop=30 link_cut=60 freeze=120; else smbd_stop=2 link_cut=5 freeze=3; fi

# The server goes away, and with it every network interface (a laptop's flight mode: the
# client library cannot even start then); meanwhile someone replaces one of the open files on
# the server's disk.
QUORVANE_TESTDOMAIN_PORT=$port testdomain stop
ip link set lo down
printf 'the new file\n' >"$server/replaced.txt.new" && mv -f "$server/replaced.txt.new" "$server/replaced.txt"
sleep "$smbd_stop"
ip link set lo up
QUORVANE_TESTDOMAIN_PORT=$port testdomain start || { echo "error=smbd did not start again"; exit 1; }
report "smbd-$smbd_stop-s" "$(now_ms)"
sleep 1

ip link set lo down
sleep "$link_cut"
ip link set lo up
report "link-$link_cut-s" "$(now_ms)"
sleep 1

kill -STOP "$daemon"
sleep "$freeze"
kill -CONT "$daemon"
report "freeze-$freeze-s" "$(now_ms)"
sleep 1

touch "$dir/stop"
wait
acknowledged=$(awk '$2 == "write" && $4 == "ok" { printf "line %06d\n", $3 }' "$dir/log.out" | md5sum)
echo "log-writes=$(grep -c ' write ' "$dir/log.out")"
echo "log-failed-writes=$(awk '$2 == "write" && $4 != "ok"' "$dir/log.out" | wc -l)"
echo "log-content=$([ "$(md5sum <"$server/log.txt")" = "$acknowledged" ] && echo acknowledged-writes || echo other)"
echo "log-fsync=$(awk '$2 == "fsync" { print $3 }' "$dir/log.out")"
echo "log-close=$(awk '$2 == "close" { print $3 }' "$dir/log.out")"
echo "replaced-content=$(cat "$server/replaced.txt")"
echo "replaced-last-write=$(awk '$2 == "write" { last = $4 } END { print last }' "$dir/replaced.out")"
echo "replaced-fsync=$(awk '$2 == "fsync" { print $3 }' "$dir/replaced.out")"
echo "replaced-close=$(awk '$2 == "close" { print $3 }' "$dir/replaced.out")"

# A mount copied into another mount namespace keeps its daemon serving past a umount here;
# when that daemon ends, a newer mount in the same place must stay.
copied=$dir/copied
mkdir -p "$copied"
copied_daemon=$(mount_home "$copied" 2>&1) || { echo "$copied_daemon"; exit 1; }
unshare --mount --propagation private sleep 60 &
holder=$!
sleep 0.3
"$tools/umount" "$copied" >/dev/null 2>&1
mount -t tmpfs -o size=1m newer "$copied"
kill -TERM "$copied_daemon"
for _ in $(seq 1 100); do
  kill -0 "$copied_daemon" 2>/dev/null || break
  sleep 0.05
done
echo "copied-daemon-ended=$(kill -0 "$copied_daemon" 2>/dev/null && echo no || echo yes)"
echo "copied-newer-mount=$(grep " $copied " /proc/self/mountinfo | tail -1 | sed 's/.* - //' | cut -d' ' -f1)"
kill "$holder" 2>/dev/null
umount "$copied" 2>/dev/null

if [ "$length" = long ]; then
  # A write left pending on a frozen server process past the bound, then the same file
  # written afresh; the server must end with the fresh data.
  # The only writer now, so that the stalled request is its own.
  "$writer" "$mnt/stale.txt" 1000 "$dir/stale-stop" >"$dir/stale.out" 2>&1 &
  sleep 1.5
  # Every server process of the mount's connections, so that the writer's is among them.
  serving=$(ss -tnpH state established "( sport = :$port )" | grep -o 'pid=[0-9]*' | cut -d= -f2 | sort -u)
  kill -STOP $serving
  stopped_at=$(now_ms)
  for _ in $(seq 1 800); do
    awk '$2 == "write" && $4 != "ok"' "$dir/stale.out" | grep -q . && break
    sleep 0.05
  done
  touch "$dir/stale-stop"
  printf 'fresh data\n' | dd of="$mnt/stale.txt" conv=fsync status=none 2>"$dir/fresh.err"
  echo "stale-fresh-write=$?"
  left=$((40 - ($(now_ms) - stopped_at) / 1000))
  [ "$left" -gt 0 ] && sleep "$left"
  kill -CONT $serving
  sleep 3
  wait
  echo "stale-failed-write=$(awk '$2 == "write" && $4 != "ok" { print $4; exit }' "$dir/stale.out")"
  echo "stale-fsync=$(awk '$2 == "fsync" { print $3 }' "$dir/stale.out")"
  echo "stale-close=$(awk '$2 == "close" { print $3 }' "$dir/stale.out")"
  echo "stale-server-content=$(od -c "$server/stale.txt" | head -3 | tr -s ' \n' ' ')"
fi

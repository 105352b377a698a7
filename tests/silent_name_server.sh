#!/usr/bin/env bash
# Host names whose name server never answers (a plant network whose DNS is down): each name
# costs its bound once in a run (the line's database's too), looked up with the others at once, however many pairs of ports
# the same-port rule compares and however often a station looks. Run in namespaces of its own,
# where 127.0.0.1 is the name server and takes queries without ever answering.
#   silent_name_server.sh KV306CTL
set -euo pipefail
ctl=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'nameserver 127.0.0.1\noptions timeout:30 attempts:1\n' >"$work/resolv.conf"
cat >"$work/line.json" <<'PROFILE'
{"format": "kv306-profile", "version": 1, "horizontal": 24, "vertical": 18, "size": 30,
 "standard": "PAL", "roundness": 2, "outside": "remove"}
PROFILE
export PATH=$PATH:/usr/sbin:/sbin
unshare --user --map-root-user --mount --net bash -s "$ctl" "$work" <<'INSIDE'
set -euo pipefail
ctl=$1 work=$2
ip link set lo up
mount --bind "$work/resolv.conf" /etc/resolv.conf
# Takes every query and answers none.
perl -MIO::Socket::INET -e 'my $s = IO::Socket::INET->new(LocalAddr => "127.0.0.1:53", Proto => "udp") or die "$!";
                            sleep 300' &
silent=$!
trap "kill $silent 2>/dev/null || true" EXIT
sleep 0.2
export KV306_PORT_DIR=$work
ports=()
for h in a b c d; do ports+=(--port "socket://$h.plant.example:4001"); done
failed=0
within() {  # within SECONDS WHAT COMMAND...: the command ends within the time (its exit code aside)
  local limit=$1 what=$2 start=$SECONDS
  shift 2
  "$@" >"$work/out" 2>&1 || true
  local took=$((SECONDS - start))
  if ((took > limit)); then
    echo "$what took $took s (more than $limit s):"; cat "$work/out"; failed=1
  else
    echo "$what: $took s"
  fi
}
within 5 "apply to four unanswered names" "$ctl" apply "$work/line.json" "${ports[@]}"
grep -q "4 units: 0 applied, 4 failed" "$work/out" || { cat "$work/out"; failed=1; }
within 4 "apply --dry-run" "$ctl" apply "$work/line.json" --dry-run "${ports[@]}"
within 5 "station --once" "$ctl" station "$work/line.json" --once --report "$work/r.csv" "${ports[@]}"
grep -q "no answer for the name" "$work/out" || { cat "$work/out"; failed=1; }
# The line's database by a name nobody answers for: libpq's own bound does not cover the lookup.
within 9 "store init" "$ctl" store init postgresql://admin@db.plant.example/line
grep -q "db.plant.example:5432/line cannot be reached: no answer within 7 s" "$work/out" || { cat "$work/out"; failed=1; }
exit $failed
INSIDE

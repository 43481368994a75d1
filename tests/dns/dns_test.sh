#!/usr/bin/env bash
# Loads logs through the built brevadin-export with lookups on, so client
# addresses go the whole way: reader -> HostCache -> SystemResolver ->
# clsNsLookup -> getnameinfo -> a real DNS server, and back into the c-ip
# column and hosts.xml.
#
# Nothing here may reach a real name server. The script re-runs itself inside
# new network, mount and PID namespaces: the only interface is a loop-back of
# its own, /etc/resolv.conf, /etc/hosts and /etc/nsswitch.conf are private
# bind mounts, and the name server is a dnsmasq on 127.0.0.1 that knows only
# the documentation ranges. Every process started inside dies with the
# namespace's first process, even if this script is killed.
#
#   1. dnsmasq answers some addresses (IPv4 and IPv6) and refuses or denies
#      the rest.
#   2. The server is gone and a socket that never replies holds its port; the
#      resolver gives up after its own 1 s time-out.
#   3. The same silent server, but the resolver would wait 20 s: the cache's
#      own 5 s limit must end the load.
#
# usage: dns_test.sh PATH_TO_BREVADIN_EXPORT
# Exit 77 (skipped) when namespaces cannot be made or a tool is missing.
set -euo pipefail

skip() { echo "SKIP: $*"; exit 77; }

if [[ "${1:-}" != --inside ]]; then
  exporter=${1:?usage: dns_test.sh PATH_TO_BREVADIN_EXPORT}
  [[ -x "$exporter" ]] || { echo "FAILED: $exporter is not an executable"; exit 1; }
  for tool in unshare dnsmasq ip python3 mount; do
    command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/install-deps.sh installs it)"
  done
  # Not root: a user namespace may still grant what the test needs.
  userns=()
  [[ $(id -u) == 0 ]] || userns=(--user --map-root-user)
  nsflags=("${userns[@]}" --net --mount --pid --fork --kill-child --mount-proc)
  unshare "${nsflags[@]}" true 2>/dev/null ||
    skip "cannot create network + mount namespaces here (unshare ${nsflags[*]} refused); run as root"
  exec unshare "${nsflags[@]}" bash "$0" --inside "$(realpath "$exporter")"
fi

# ---------------------------------------------------------------- inside ----
exporter=$2
fail=0
check() { if eval "$1"; then echo "ok: $2"; else echo "FAILED: $2"; fail=1; fi; }
die() { echo "FAILED: $*"; exit 1; }

# Before anything could ask a name server: this namespace must hold nothing
# but an unconfigured loop-back, and no route may lead anywhere else.
interfaces=$(awk -F: 'NR > 2 { gsub(/ /, "", $1); print $1 }' /proc/net/dev | sort | tr '\n' ' ')
[[ "$interfaces" == "lo " ]] || die "the namespace has interfaces besides lo: $interfaces"
[[ $(ip -o link show | wc -l) == 1 ]] || die "ip link lists more than lo: $(ip -o link show)"
mount --make-rprivate /
ip link set lo up
if ip route get 10.255.255.53 >/dev/null 2>&1; then die "an outside address is routable"; fi
echo "ok: the namespace has only lo and no route off the machine"

work=$(mktemp -d)
mkdir "$work/etc"
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"$work/etc/resolv.conf"
printf '127.0.0.1 localhost\n::1 localhost\n' >"$work/etc/hosts"
# files and dns only: an nss module such as resolve or mdns would take the
# question past resolv.conf to a daemon outside this namespace.
printf 'passwd: files\ngroup: files\nshadow: files\nhosts: files dns\nnetworks: files\n' \
  >"$work/etc/nsswitch.conf"
for f in resolv.conf hosts nsswitch.conf; do
  mount --bind "$work/etc/$f" "/etc/$f" || skip "cannot bind-mount a private /etc/$f"
  cmp -s "$work/etc/$f" "/etc/$f" || die "/etc/$f does not read as the private copy"
done
# A name-service cache daemon would answer from the host's own namespace.
mkdir "$work/empty"
for d in /run/nscd /var/run/nscd; do
  if [[ -d $d ]]; then mount --bind "$work/empty" "$d"; fi
done
echo "ok: private resolv.conf, hosts and nsswitch.conf are in place"

# The reverse-lookup names of the addresses given, as the resolver asks for
# them, sorted.
ptrnames() {
  python3 -c 'import ipaddress, sys; [print(ipaddress.ip_address(a).reverse_pointer) for a in sys.argv[1:]]' \
    "$@" | sort
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Waits (up to 5 s) until something listens on 127.0.0.1 UDP port 53.
wait_for_port53() {
  for _ in $(seq 50); do
    if awk '$2 == "0100007F:0035" { found = 1 } END { exit !found }' /proc/net/udp; then return 0; fi
    sleep 0.1
  done
  return 1
}

# A W3C log with one line per address given, at one-second steps.
write_log() {
  local file=$1 i=10
  shift
  {
    printf '#Software: Microsoft Internet Information Services 6.0\r\n#Version: 1.0\r\n'
    printf '#Date: 2003-05-01 00:00:00\r\n#Fields: date time c-ip cs-method cs-uri-stem sc-status\r\n'
    for a in "$@"; do
      printf '2003-05-01 00:00:%02d %s GET /p%02d.html 200\r\n' "$i" "$a" "$i"
      i=$((i + 1))
    done
  } >"$file"
}

# The c-ip column of an exported CSV, one value a line.
cip_column() { sed '1d' "$1" | cut -d, -f3; }

# Runs the exporter with lookups on, timing it. Sets rc and elapsed_ms.
export_log() {
  local start
  start=$(now_ms)
  rc=0
  "$exporter" --quiet --hosts "$work/hosts.xml" -o "$2" "$1" || rc=$?
  elapsed_ms=$(($(now_ms) - start))
}

# Every row of hosts.xml as "address=name", in the file's order.
cached_rows() {
  python3 - "$work/hosts.xml" <<'EOF'
import sys, xml.etree.ElementTree as ET
for row in ET.parse(sys.argv[1]).iter('{#RowsetSchema}row'):
    print(row.get('IP') + '=' + row.get('NAME'))
EOF
}

dnsmasq_pid=
blackhole_pid=
cleanup() {
  for pid in $dnsmasq_pid $blackhole_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# ------------------------------------------------- 1. a server that answers --
cat >"$work/ptr.hosts" <<'EOF'
192.0.2.10      www.example.test www-alias.example.test
192.0.2.8       octal-trap.example.test
198.51.100.20   mail.example.net
2001:db8::5     v6.example.test
2001:db8::7     v6-long.example.test
EOF
chmod -R a+rX "$work"
# --local makes dnsmasq the authority for these reverse zones, so an address
# it does not list gets NXDOMAIN; 203.0.113.0/24 has no authority and no
# upstream, so it is refused. --ptr-record serves an address with no forward
# name at all.
# It stays the user and group it starts as: as root it is shut in this
# namespace anyway, and in a user namespace there is no other to change to.
dnsmasq --keep-in-foreground --no-resolv --no-hosts \
  --listen-address=127.0.0.1 --bind-interfaces --port=53 --user=root --group= \
  --pid-file="$work/dnsmasq.pid" --log-queries --log-facility="$work/dnsmasq.log" \
  --addn-hosts="$work/ptr.hosts" \
  --ptr-record=30.100.51.198.in-addr.arpa,ptr-only.example.org \
  --local=/2.0.192.in-addr.arpa/ --local=/100.51.198.in-addr.arpa/ \
  --local=/8.b.d.0.1.0.0.2.ip6.arpa/ &
dnsmasq_pid=$!
wait_for_port53 || die "dnsmasq did not start listening: $(cat "$work/dnsmasq.log" 2>/dev/null)"

# 192.0.2.10 comes three times and in the middle: looked up once, shown on
# every row. 2001:DB8:0:0:0:0:0:7 is the long, upper-case form of an address
# dnsmasq lists; the row keeps the text as the log wrote it. ::ffff:192.0.2.10
# is how a dual-stack server logs an IPv4 client: the resolver asks for the
# IPv4 name, but the cache keeps it as an address of its own. "-" and
# "192.0.2.10:443" are not addresses and must not turn into queries; nor may
# the old inet_aton forms: "192.0.2.010" would be 192.0.2.8 (octal), whose
# name dnsmasq does know, and 3221225994 is 192.0.2.10 as one number.
phase1=(192.0.2.10 127.0.0.1 198.51.100.20 2001:db8::5 192.0.2.10 198.51.100.30
        192.0.2.99 2001:db8::99 203.0.113.7 2001:DB8:0:0:0:0:0:7 ::ffff:192.0.2.10
        - 192.0.2.10:443 192.0.2.010 3221225994 192.0.2.10)
write_log "$work/p1.log" "${phase1[@]}"
export_log "$work/p1.log" "$work/p1.csv"
kill "$dnsmasq_pid"
wait "$dnsmasq_pid" 2>/dev/null || true
dnsmasq_pid=

check '[ $rc = 0 ]' "phase 1: the exporter succeeded (exit $rc, ${elapsed_ms} ms)"
cat >"$work/p1.expected" <<'EOF'
www.example.test [192.0.2.10]
Local Host [127.0.0.1]
mail.example.net [198.51.100.20]
v6.example.test [2001:db8::5]
www.example.test [192.0.2.10]
ptr-only.example.org [198.51.100.30]
Unknown [192.0.2.99]
Unknown [2001:db8::99]
Unknown [203.0.113.7]
v6-long.example.test [2001:DB8:0:0:0:0:0:7]
www.example.test [::ffff:192.0.2.10]
Unknown [-]
Unknown [192.0.2.10:443]
Unknown [192.0.2.010]
Unknown [3221225994]
www.example.test [192.0.2.10]
EOF
check 'cip_column "$work/p1.csv" | diff "$work/p1.expected" - >&2' \
  "phase 1: every row, in order, shows 'name [address]' or 'Unknown [address]'"
check '[ $(($(wc -l <"$work/p1.csv") - 1)) = ${#phase1[@]} ]' "phase 1: all ${#phase1[@]} lines were loaded"

# The server saw one question per distinct address the cache lacked: none for
# the loop-back address (the cache holds it), none for a repeat, none for the
# texts that are not addresses. 10.2.0.192.in-addr.arpa is asked twice, once
# for 192.0.2.10 and once for its IPv4-mapped form.
asked=$(sed -n 's/.*query\[PTR\] \([^ ]*\) from .*/\1/p' "$work/dnsmasq.log" | sort)
wanted=$(ptrnames 192.0.2.10 198.51.100.20 2001:db8::5 198.51.100.30 192.0.2.99 2001:db8::99 \
                  203.0.113.7 2001:db8::7 192.0.2.10)
check '[ "$asked" = "$wanted" ]' "phase 1: dnsmasq was asked exactly once for each uncached address"
# Both ways of not answering did happen, so both reach the reader as Unknown.
check 'grep -q "99.2.0.192.in-addr.arpa is NXDOMAIN" "$work/dnsmasq.log"' \
  "phase 1: an address in a zone dnsmasq holds was denied (NXDOMAIN)"
# No grep -q at the end of a pipe: it stops reading at the first match, and
# under pipefail the writer's broken pipe would fail the check.
check 'grep -A1 "query\[PTR\] 7.113.0.203.in-addr.arpa" "$work/dnsmasq.log" | grep REFUSED >/dev/null' \
  "phase 1: an address outside its zones was refused"

check '[ -f "$work/hosts.xml" ]' "phase 1: hosts.xml was written"
cached_rows >"$work/p1.cached"
for pair in 192.0.2.10=www.example.test 198.51.100.20=mail.example.net 2001:db8::5=v6.example.test \
            198.51.100.30=ptr-only.example.org 2001:DB8:0:0:0:0:0:7=v6-long.example.test \
            ::ffff:192.0.2.10=www.example.test \
            192.0.2.99=Unknown 2001:db8::99=Unknown "127.0.0.1=Local Host"; do
  address=${pair%%=*} name=${pair#*=}
  check 'grep -qxF "$pair" "$work/p1.cached"' "phase 1: hosts.xml keeps $address as '$name'"
done
# A refusal says nothing about the name (another server may answer): not kept.
check '! grep -q "^203\.0\.113\.7=" "$work/p1.cached"' "phase 1: hosts.xml does not keep the refused 203.0.113.7"

# ------------------------------------ 2. a server that never says anything --
# It reads every question and writes down the name asked for, so the test
# knows the resolver really waited on it.
cat >"$work/blackhole.py" <<'EOF'
import socket, sys
sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 53))
with open(sys.argv[1], "a") as log:
    while True:
        data, _ = sock.recvfrom(4096)
        labels, pos = [], 12
        while pos < len(data) and data[pos] != 0:
            labels.append(data[pos + 1:pos + 1 + data[pos]].decode("ascii", "replace"))
            pos += 1 + data[pos]
        log.write(".".join(labels) + "\n")
        log.flush()
EOF
python3 "$work/blackhole.py" "$work/blackhole.log" &
blackhole_pid=$!
wait_for_port53 || die "the silent server did not start listening"

# Cached names from phase 1 stay; the new addresses cannot be answered.
phase2=(192.0.2.10 192.0.2.50 2001:db8::5 198.51.100.60 2001:db8::50 192.0.2.99 192.0.2.50)
write_log "$work/p2.log" "${phase2[@]}"
export_log "$work/p2.log" "$work/p2.csv"
check '[ $rc = 0 ]' "phase 2: the exporter succeeded (exit $rc, ${elapsed_ms} ms)"
cat >"$work/p2.expected" <<'EOF'
www.example.test [192.0.2.10]
Unknown [192.0.2.50]
v6.example.test [2001:db8::5]
Unknown [198.51.100.60]
Unknown [2001:db8::50]
Unknown [192.0.2.99]
Unknown [192.0.2.50]
EOF
check 'cip_column "$work/p2.csv" | diff "$work/p2.expected" - >&2' \
  "phase 2: unanswered addresses show as Unknown, cached names as before"
check '[ $(($(wc -l <"$work/p2.csv") - 1)) = ${#phase2[@]} ]' "phase 2: all ${#phase2[@]} lines were loaded"
check '[ $elapsed_ms -lt 30000 ]' "phase 2: the load finished in bounded time (${elapsed_ms} ms)"
asked=$(sort -u "$work/blackhole.log")
wanted=$(ptrnames 192.0.2.50 198.51.100.60 2001:db8::50)
check '[ "$asked" = "$wanted" ]' "phase 2: the silent server was asked for the uncached addresses only"
cached_rows >"$work/p2.cached"
check 'grep -qxF 192.0.2.10=www.example.test "$work/p2.cached"' "phase 2: hosts.xml still holds the answered names"
check '! grep -qE "^(192\.0\.2\.50|198\.51\.100\.60|2001:db8::50)=" "$work/p2.cached"' \
  "phase 2: the resolver's time-outs are not kept, so a later load asks again"

# ------------------------- 3. a resolver that would wait longer than the cache --
printf 'nameserver 127.0.0.1\noptions timeout:20 attempts:1\n' >"$work/etc/resolv.conf"
: >"$work/blackhole.log"
phase3=(192.0.2.70 2001:db8::70 192.0.2.10 192.0.2.70)
write_log "$work/p3.log" "${phase3[@]}"
export_log "$work/p3.log" "$work/p3.csv"
check '[ $rc = 0 ]' "phase 3: the exporter succeeded (exit $rc, ${elapsed_ms} ms)"
printf '%s\n' 'Unknown [192.0.2.70]' 'Unknown [2001:db8::70]' 'www.example.test [192.0.2.10]' \
  'Unknown [192.0.2.70]' >"$work/p3.expected"
check 'cip_column "$work/p3.csv" | diff "$work/p3.expected" - >&2' \
  "phase 3: addresses the cache gave up on show as Unknown"
check '[ $(($(wc -l <"$work/p3.csv") - 1)) = ${#phase3[@]} ]' "phase 3: all ${#phase3[@]} lines were loaded"
# The resolver alone would block for 20 s; the cache's 5 s limit ended the
# wait, and the exporter exited although its lookup threads were still stuck.
check '[ $elapsed_ms -ge 4000 ] && [ $elapsed_ms -lt 15000 ]' \
  "phase 3: the cache's own time-out ended the load (${elapsed_ms} ms; 5 s expected)"
asked=$(sort -u "$work/blackhole.log")
wanted=$(ptrnames 192.0.2.70 2001:db8::70)
check '[ "$asked" = "$wanted" ]' "phase 3: the questions did reach the silent server"
cached_rows >"$work/p3.cached"
check '! grep -qE "^(192\.0\.2\.70|2001:db8::70)=" "$work/p3.cached"' \
  "phase 3: what the cache gave up on is not kept"

exit $fail

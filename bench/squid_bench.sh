#!/usr/bin/env bash
# Requests a second through a real Squid (Debian's squid, on loopback) from parallel clients (wrk), each
# request to an address of its own so that Squid's result cache for the helper never answers, in one run:
#   - no ACL at all;
#   - the helper, veraway-check squid, over 1,000 and 1,000,000 site entries;
#   - Squid's built-in url_regex ACL holding the same entries as escaped literals (the same substring rule),
#     at 1,000 and 100,000 entries (and 1,000,000 with --all; its start alone takes very long).
# Every configuration ends in `http_access deny all`, and the ACL under test is asked for every request
# (`http_access deny THE_ACL`), so every request gets Squid's own 403 page: no origin server shares the CPU,
# and the configurations differ only in the ACL. A third of the addresses hold an entry. For each run: the
# requests a second, and the CPU time (user + system) Squid and the helpers used during it.
#   bench/squid_bench.sh [build/default/src/cli/veraway-check] [--all] [--seconds N]
set -euo pipefail

helper_built=build/default/src/cli/veraway-check
sizes_regex=(1000 100000)
seconds=10
while [[ $# -gt 0 ]]; do
  case $1 in
    --all) sizes_regex+=(1000000) ;;
    --seconds) seconds=$2; shift ;;
    *) helper_built=$1 ;;
  esac
  shift
done
for tool in squid wrk python3; do
  command -v $tool >/dev/null || [[ -x /usr/sbin/$tool ]] || { echo "$tool is needed"; exit 2; }
done
squid=$(command -v squid || echo /usr/sbin/squid)

work=$(mktemp -d /tmp/vw-squid-bench.XXXXXX)
squid_pid=
cleanup() {
  local status=$?
  if [[ -n $squid_pid ]]; then
    kill "$squid_pid" 2>/dev/null || true
    wait "$squid_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
mkdir -p "$work/bin"
cp "$helper_built" "$work/bin/veraway-check"

# Entries as bench_check makes them ("qwertyuiop.asdfghj.org/zxc", about 30 bytes), 200,000 addresses of
# about 55 bytes, a third holding an entry, and the Lua script that sends them.
python3 - "$work" <<'EOF'
import random, sys
work = sys.argv[1]
random.seed(20261209)
letters = "abcdefghijklmnopqrstuvwxyz"
def word(a, b):
    return "".join(random.choices(letters, k=random.randint(a, b)))
def entry():
    e = word(9, 15) + "." + word(7, 13) + "." + random.choice(["com", "org", "net", "de"])
    return e + "/" + word(2, 6) if random.random() < 0.5 else e
entries = [entry() for _ in range(1000000)]
for n in (1000, 100000, 1000000):
    with open(f"{work}/sites-{n}.txt", "w", newline="") as f:
        f.writelines(e + "\r\n" for e in entries[:n])
    with open(f"{work}/regex-{n}.txt", "w") as f:
        f.writelines(e.replace(".", "\\.") + "\n" for e in entries[:n])
    with open(f"{work}/addresses-{n}.txt", "w") as f:
        for i in range(200000):
            path = "/" + word(6, 20) + "?id="
            if i % 3 == 0:
                f.write("http://" + entries[random.randrange(n)] + path + "\n")
            else:
                f.write("http://www." + word(8, 14) + "." + word(6, 12) + ".com" + path + "\n")
EOF
cat >"$work/requests.lua" <<'EOF'
-- Each thread sends the addresses in turn, each with a number of its own at the end.
local thread_count = 0
function setup(thread)
  thread:set("id", thread_count)
  thread_count = thread_count + 1
end
function init(args)
  addresses = {}
  for line in io.lines(args[1]) do addresses[#addresses + 1] = line end
  n = 0
end
function request()
  n = n + 1
  return wrk.format("GET", addresses[(n + id * 7919) % #addresses + 1] .. id .. "-" .. n)
end
EOF
chmod -R a+rX "$work"
user_line=
if [[ $(id -u) -eq 0 ]]; then
  user=proxy
  id "$user" >/dev/null 2>&1 || user=nobody
  user_line="cache_effective_user $user"
fi

# CPU ticks (user + system) of the given processes.
ticks() {
  local total=0 pid
  for pid in "$@"; do
    [[ -r /proc/$pid/stat ]] || continue
    local fields
    read -r -a fields < <(sed 's/.*) //' "/proc/$pid/stat")
    total=$((total + fields[11] + fields[12]))
  done
  echo $total
}

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
hz=$(getconf CLK_TCK)
printf '%-34s %10s %12s %12s %s\n' configuration "requests/s" "Squid CPU s" "helper CPU s" "helper/Squid"

# run NAME ENTRIES ACL-LINES...: starts Squid with the lines, waits until it answers, runs wrk, stops Squid.
run() {
  local name=$1 entries=$2
  shift 2
  {
    echo "http_port 127.0.0.1:$port"
    echo "visible_hostname localhost"
    echo "$user_line"
    echo "pid_filename $work/squid.pid"
    echo "cache_log $work/cache.log"
    echo "access_log none"
    echo "coredump_dir $work"
    echo "cache deny all"
    echo "pinger_enable off"
    echo "shutdown_lifetime 0 seconds"
    printf '%s\n' "$@"
    echo "http_access deny all"
  } >"$work/squid.conf"
  : >"$work/cache.log"
  [[ -n $user_line ]] && chown "${user_line#* }" "$work/cache.log"
  "$squid" -N -f "$work/squid.conf" >"$work/squid.out" 2>&1 &
  squid_pid=$!
  local started=$SECONDS
  until [[ $(curl -s -o /dev/null -w '%{http_code}' --max-time 5 -x "http://127.0.0.1:$port" \
    http://start.test/ 2>/dev/null) == 403 ]]; do
    if ! kill -0 "$squid_pid" 2>/dev/null || ((SECONDS - started > 300)); then
      printf '%-34s did not start within %d s\n' "$name" $((SECONDS - started))
      kill "$squid_pid" 2>/dev/null || true
      wait "$squid_pid" 2>/dev/null || true
      squid_pid=
      return
    fi
    sleep 0.2
  done
  local -a helpers
  mapfile -t helpers < <(pgrep -P "$squid_pid" -f veraway-check || true)
  local squid_before helper_before
  squid_before=$(ticks "$squid_pid")
  helper_before=$(ticks "${helpers[@]}")
  local rate
  rate=$(wrk -t2 -c50 -d"${seconds}s" --timeout 30s -s "$work/requests.lua" "http://127.0.0.1:$port/" \
    "$work/addresses-$entries.txt" | awk '/Requests\/sec/ {print $2}')
  # Helpers started during the run count too (from nothing).
  mapfile -t helpers < <(pgrep -P "$squid_pid" -f veraway-check || true)
  local squid_cpu helper_cpu
  squid_cpu=$(($(ticks "$squid_pid") - squid_before))
  helper_cpu=$(($(ticks "${helpers[@]}") - helper_before))
  awk -v name="$name" -v rate="$rate" -v squid="$squid_cpu" -v helper="$helper_cpu" -v hz="$hz" 'BEGIN {
    printf "%-34s %10.0f %12.2f %12.2f %s\n", name, rate, squid / hz, helper / hz,
      (squid > 0 && helper > 0) ? sprintf("%.3f", helper / squid) : "-" }'
  grep -h "WARNING\|ERROR" "$work/cache.log" | sort | uniq -c | head -3 || true
  kill "$squid_pid"
  wait "$squid_pid" 2>/dev/null || true
  squid_pid=
}

run "no ACL" 1000
for n in 1000 1000000; do
  mkdir -p "$work/lists-$n"
  cp "$work/sites-$n.txt" "$work/lists-$n/TrustFile_SafeSites.txt"
  : >"$work/lists-$n/TrustFile_SafeLinks.txt"
  chmod -R a+rX "$work/lists-$n"
  run "veraway-check squid, $n entries" "$n" \
    "external_acl_type veraway children-max=1 children-startup=1 concurrency=100 %#>ru $work/bin/veraway-check squid --dir $work/lists-$n" \
    "acl approved external veraway" "http_access deny approved"
done
for n in "${sizes_regex[@]}"; do
  run "url_regex, $n entries" "$n" "acl approved url_regex \"$work/regex-$n.txt\"" "http_access deny approved"
done

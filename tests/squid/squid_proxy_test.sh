#!/usr/bin/env bash
# veraway-check squid under a real Squid: Debian's squid on 127.0.0.1 with a configuration of its own in a
# temporary folder (pid file, logs, no disk cache) around the example the package ships, the helper from the
# build and a local HTTP origin. Through the proxy an approved address gets the origin's page and another one
# 403; the list is changed on disk and, without a restart, the verdicts flip; access.log names the approving
# entry; an approved entry named in another address's query, path or user name lets nothing through, and
# ://host/ approves a CONNECT to that host and no look-alike. Loopback only; it stops what it started.
#   squid_proxy_test.sh VERAWAY_CHECK EXAMPLE_CONFIGURATION
# Exit status 77 (skipped) only when squid is not installed.
set -euo pipefail

helper_built=$1
example=$2
squid=$(command -v squid || true)
[[ -z $squid && -x /usr/sbin/squid ]] && squid=/usr/sbin/squid
if [[ -z $squid ]]; then
  echo "SKIPPED: squid is not installed (scripts/install-deps.sh test installs it)"
  exit 77
fi
for tool in curl python3; do
  command -v $tool >/dev/null || { echo "FAILED: $tool is needed"; exit 1; }
done

work=$(mktemp -d /tmp/vw-squid-test.XXXXXX)
squid_pid=
origin_pid=
cleanup() {
  local status=$?
  for pid in $squid_pid $origin_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*"
  echo "--- cache.log"
  tail -n 30 "$work/cache.log" 2>/dev/null || true
  echo "--- access.log"
  cat "$work/access.log" 2>/dev/null || true
  exit 1
}

# Two free loopback ports (asked of the kernel, then let go for Squid and the origin).
read -r proxy_port origin_port < <(python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*(x.getsockname()[1] for x in s))')

# Squid started as root works as an unprivileged user: that user must reach the folder, the helper and the
# lists, and write the logs.
mkdir -p "$work/bin" "$work/lists" "$work/www/ok" "$work/www/new"
cp "$helper_built" "$work/bin/veraway-check"
echo "the approved page" >"$work/www/ok/index.html"
echo "the new page" >"$work/www/new/index.html"
origin=127.0.0.1:$origin_port
printf '%s/ok/\r\n' "$origin" >"$work/lists/TrustFile_SafeSites.txt"
printf '/~user/\r\n' >"$work/lists/TrustFile_SafeLinks.txt"
touch "$work/access.log" "$work/cache.log"
user_line=
if [[ $(id -u) -eq 0 ]]; then
  user=proxy
  id "$user" >/dev/null 2>&1 || user=nobody
  user_line="cache_effective_user $user"
  chown "$user" "$work/access.log" "$work/cache.log"
fi
chmod -R a+rX "$work"

# The example configuration the package ships, as an administrator puts it in Debian's squid.conf (between
# the definition of localnet and "http_access allow localhost"), with this test's paths, and answers kept
# one second instead of sixty so that a change of the lists shows at once.
sed -e "s|/usr/bin/veraway-check|$work/bin/veraway-check|" -e "s|/srv/veraway|$work/lists|" \
  -e "s|ttl=60 negative_ttl=60|ttl=1 negative_ttl=1|" -e "s|daemon:/var/log/squid/access.log|stdio:$work/access.log|" \
  "$example" >"$work/veraway.conf"
if ! grep -q "ttl=1 negative_ttl=1 .* $work/bin/veraway-check squid --dir $work/lists\$" "$work/veraway.conf" ||
  ! grep -q "stdio:$work/access.log" "$work/veraway.conf"; then
  fail "the example configuration has changed: adapt this test"
fi
cat >"$work/squid.conf" <<EOF
http_port 127.0.0.1:$proxy_port
visible_hostname localhost
$user_line
pid_filename $work/squid.pid
cache_log $work/cache.log
coredump_dir $work
cache deny all
pinger_enable off
shutdown_lifetime 0 seconds
acl localnet src 10.0.0.0/8
include $work/veraway.conf
http_access allow localhost
http_access deny all
EOF

python3 -m http.server --bind 127.0.0.1 --directory "$work/www" "$origin_port" >"$work/origin.log" 2>&1 &
origin_pid=$!
"$squid" -N -f "$work/squid.conf" >"$work/squid.out" 2>&1 &
squid_pid=$!

# code URL [CURL OPTIONS...]: the status of a request through the proxy (000 when there was no answer).
code() {
  local url=$1
  shift
  curl -s -o "$work/body" -w '%{http_code}' --max-time 10 -x "http://127.0.0.1:$proxy_port" "$@" "$url" || true
}

# Both listening (bounded: 30 s).
for ((i = 0; i < 300; i++)); do
  if curl -s -o /dev/null --max-time 1 "http://$origin/ok/" &&
    [[ $(curl -s -o /dev/null -w '%{http_code}' --max-time 1 "http://127.0.0.1:$proxy_port/") != 000 ]]; then
    break
  fi
  kill -0 "$squid_pid" 2>/dev/null || fail "squid ended at start: $(cat "$work/squid.out")"
  sleep 0.1
done

# 1. The approved address gets the origin's page; another one is denied.
[[ $(code "http://$origin/ok/") == 200 ]] || fail "approved address not served"
grep -q "the approved page" "$work/body" || fail "approved address: not the origin's page"
[[ $(code "http://$origin/new/") == 403 ]] || fail "address not approved, yet not denied"
echo "ok: approved 200, not approved 403"

# A client's own %7E is not Squid's escape of ~: /~user/ approves only ~ (the origin has no such page: 404).
[[ $(code "http://$origin/~user/" --path-as-is) == 404 ]] || fail "/~user/ does not approve ~user"
[[ $(code "http://$origin/%7Euser/" --path-as-is) == 403 ]] || fail "/~user/ approves a client's %7Euser"
echo "ok: a client's %7E stays %7E"

# 2. HTTPS: a CONNECT holds host:port only, so an entry with a path never approves it.
connect=$(curl -s -o /dev/null -w '%{http_connect}' --max-time 10 -p -x "http://127.0.0.1:$proxy_port" \
  "https://$origin/ok/" || true)
[[ $connect == 403 ]] || fail "CONNECT $origin answered $connect, not 403"
echo "ok: CONNECT denied"

# 3. The list changed on disk: the verdicts flip without a restart (bounded: 15 s).
printf '%s/new/\r\n' "$origin" >"$work/lists/TrustFile_SafeSites.txt"
for ((i = 0; i < 150; i++)); do
  [[ $(code "http://$origin/new/") == 200 && $(code "http://$origin/ok/") == 403 ]] && break
  sleep 0.1
done
[[ $(code "http://$origin/new/") == 200 ]] || fail "newly approved address still denied"
grep -q "the new page" "$work/body" || fail "newly approved address: not the origin's page"
[[ $(code "http://$origin/ok/") == 403 ]] || fail "address taken off the list still served"
[[ $(cat "$work/squid.pid") == "$squid_pid" ]] || fail "squid was restarted"
echo "ok: verdicts flipped after the change on disk"

# A deleted list is an empty list, as if it had never been there: its approvals end within the helper's look
# (1 s) and Squid's ttl (1 s here), with no restart.
rm "$work/lists/TrustFile_SafeSites.txt"
start=$(date +%s%N)
for ((i = 0; i < 30; i++)); do
  [[ $(code "http://$origin/new/") == 403 ]] && break
  sleep 0.1
done
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
[[ $(code "http://$origin/new/") == 403 ]] || fail "address of a deleted list still served"
((elapsed_ms <= 2500)) || fail "a deleted list revoked after $elapsed_ms ms"
echo "ok: a deleted list revoked within $elapsed_ms ms"

# 4. access.log names the approving entry, its list and line.
sleep 0.5
grep -q "TCP_MISS/200 .* GET http://$origin/ok/ .* TrustFile_SafeSites.txt:1:$origin/ok/\$" "$work/access.log" ||
  fail "access.log does not name the entry that approved /ok/"
grep -q "TCP_MISS/200 .* GET http://$origin/new/ .* TrustFile_SafeSites.txt:1:$origin/new/\$" "$work/access.log" ||
  fail "access.log does not name the entry that approved /new/"
echo "ok: access.log names the approving entries"

# 5. The network rule: ://host/ and .host: count only at the host, so naming them elsewhere smuggles nothing;
# a CONNECT is judged as https://host:port/.
port=${origin#*:}
printf '://localhost:%s/\r\n.localhost:\r\n' "$port" >"$work/lists/TrustFile_SafeSites.txt"
for ((i = 0; i < 150; i++)); do
  [[ $(code "http://localhost:$port/ok/") == 200 ]] && break
  sleep 0.1
done
[[ $(code "http://localhost:$port/ok/") == 200 ]] || fail "://localhost:$port/ does not approve its own host"
for smuggled in "http://$origin/ok/?u=http://localhost:$port/" "http://$origin/ok/http://localhost:$port/" \
  "http://$origin/.localhost:$port/" "http://a.localhost:$port@$origin/ok/"; do
  [[ $(code "$smuggled" --path-as-is) == 403 ]] || fail "smuggled past Squid: $smuggled"
done
connect() {
  curl -s -o /dev/null -w '%{http_connect}' --max-time 10 -p -x "http://127.0.0.1:$proxy_port" "https://$1:$port/" || true
}
[[ $(connect localhost) == 200 ]] || fail "CONNECT localhost:$port not approved by ://localhost:$port/"
for host in localhost.attacker.example evil-localhost; do
  [[ $(connect $host) == 403 ]] || fail "CONNECT $host:$port approved"
done
echo "ok: nothing smuggled in query, path or user name; CONNECT approved by ://host/, look-alikes denied"

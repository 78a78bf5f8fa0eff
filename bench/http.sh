#!/usr/bin/env bash
# The manager's HTTP server (bench_http_server) against nginx serving the same small page
# over loopback, measured in one run.
#
#   bench/http.sh [rate]   requests per second with wrk. Both close the connection after
#                          each answer (the manager's server always does), so wrk sends
#                          "Connection: close" to both and nginx runs without keep-alive.
#                          Goal: at least half of nginx's rate.
#   bench/http.sh slow     with 1,000 slow clients open (from 127.0.0.2 and up, each sending
#                          its head a byte per second), the time to answer a normal request
#                          from 127.0.0.1 (bench_slow_clients); nginx runs with the settings
#                          of the distribution's own configuration. Goal: every request
#                          answered 200 within 100 ms.
#
#   build dir: $TOVARIN_BUILD_DIR or build/release
#   BENCH_DURATION=10s BENCH_ROUNDS=5 bench/http.sh   # rate: per round and side; defaults 5s, 3
#   BENCH_SLOW=1000 BENCH_REQUESTS=200 bench/http.sh slow
#
# Needs wrk and nginx (Debian packages wrk, nginx-light). Runs its own nginx on a free
# port with its own configuration in a temporary folder; touches nothing else.
# Exit status 1 when the goal is missed.
set -euo pipefail
mode="${1:-rate}"
case "$mode" in rate|slow) ;; *) echo "usage: bench/http.sh [rate|slow]" >&2; exit 2 ;; esac
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${TOVARIN_BUILD_DIR:-$here/build/release}"
duration="${BENCH_DURATION:-5s}"
rounds="${BENCH_ROUNDS:-3}"
connections=16
threads=4

for tool in wrk nginx cmake; do
  command -v "$tool" >/dev/null || { echo "http.sh: $tool is not installed (scripts/setup)" >&2; exit 2; }
done
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target bench_http_server bench_slow_clients >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/tovbench.XXXXXX")"
server_pid=""
nginx_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# nginx's workers may run as another user: the folder and the page must be readable.
chmod 755 "$work"
mkdir -p "$work/www" "$work/tmp" "$work/home"
install -m 644 "$here/bench/http/page.html" "$work/www/index.html"

port_is_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
wait_for_port() {
  for _ in $(seq 100); do
    port_is_free "$1" || return 0
    sleep 0.05
  done
  echo "http.sh: nothing listens on port $1" >&2
  return 1
}

# Our server, on a port it picks itself, with a private settings store.
coproc SERVER { TOVARIN_HOME="$work/home" exec "$build/bin/bench_http_server" --page "$work/www/index.html" --port 0; }
server_pid=$SERVER_PID
read -r word server_port <&"${SERVER[0]}"
[ "$word" = port ] || { echo "http.sh: bench_http_server did not start" >&2; exit 1; }

# A port below the ephemeral range: wrk's closed connections keep ports of that range busy.
read -r ephemeral _ </proc/sys/net/ipv4/ip_local_port_range
low=$(( ephemeral > 12000 ? 10000 : 1025 ))
nginx_port=""
for _ in $(seq 50); do
  candidate=$((low + RANDOM % (ephemeral - low)))
  if port_is_free "$candidate"; then nginx_port=$candidate; break; fi
done
[ -n "$nginx_port" ] || { echo "http.sh: no free port for nginx" >&2; exit 1; }
config="$here/bench/http/nginx.conf.in"
[ "$mode" = slow ] && config="$here/bench/http/nginx-default.conf.in"
sed -e "s|@WORK@|$work|g" -e "s|@PORT@|$nginx_port|g" "$config" >"$work/nginx.conf"
nginx -e "$work/error.log" -p "$work" -c "$work/nginx.conf" &
nginx_pid=$!
wait_for_port "$nginx_port"
wait_for_port "$server_port"

# Both must serve the same bytes.
if ! cmp -s <(curl -s "http://127.0.0.1:$server_port/index.html") <(curl -s "http://127.0.0.1:$nginx_port/index.html"); then
  echo "http.sh: the two servers answer different pages" >&2
  exit 1
fi

if [ "$mode" = slow ]; then
  status=0
  "$build/bin/bench_slow_clients" --target "bench_http_server=$server_port" --target "nginx=$nginx_port" \
    --slow "${BENCH_SLOW:-1000}" --requests "${BENCH_REQUESTS:-200}" --goal-ms 100 || status=$?
  exit "$status"
fi

rate() {  # url -> requests per second
  wrk -t"$threads" -c"$connections" -d"$duration" -H "Connection: close" "$1" |
    awk '/^Requests\/sec:/ { print $2 }
         /Non-2xx|Socket errors/ { print "http.sh: " $0 > "/dev/stderr" }'
}
wrk -t2 -c"$connections" -d2s -H "Connection: close" "http://127.0.0.1:$server_port/index.html" >/dev/null
wrk -t2 -c"$connections" -d2s -H "Connection: close" "http://127.0.0.1:$nginx_port/index.html" >/dev/null
# Alternating rounds; the median of each side evens out a noisy machine.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ours_all=""
theirs_all=""
for _ in $(seq "$rounds"); do
  ours_all+="$(rate "http://127.0.0.1:$server_port/index.html")"$'\n'
  theirs_all+="$(rate "http://127.0.0.1:$nginx_port/index.html")"$'\n'
done
ours=$(printf '%s' "$ours_all" | median)
theirs=$(printf '%s' "$theirs_all" | median)

awk -v ours="$ours" -v theirs="$theirs" -v c="$connections" -v d="$duration" -v r="$rounds" -v bytes="$(wc -c <"$work/www/index.html")" 'BEGIN {
  ratio = ours / theirs
  printf "page of %d bytes, wrk -c%d, %d rounds of %s per server, median, Connection: close\n", bytes, c, r, d
  printf "bench_http_server  %10.0f requests/s\n", ours
  printf "nginx              %10.0f requests/s\n", theirs
  printf "ratio              %10.2f (goal: at least 0.50) %s\n", ratio, (ratio >= 0.5 ? "met" : "MISSED")
  exit (ratio >= 0.5 ? 0 : 1)
}'

#!/bin/sh
# GET /status, the agent against nginx at equal worker counts: starts the agent headless on a
# free loopback port with settings in a throw-away folder, and nginx on another port serving
# the agent's own /status body from memory with as many worker processes as the agent has
# connection threads. Runs wrk against each for a few seconds and prints, for both, requests
# per second and CPU time (user + system, all of nginx's processes counted) per request served,
# then the two ratios agent/nginx.
#
#   bench/status_wrk.sh [path/to/parvello] [seconds] [workers]
#
# The binary defaults to build/bench/parvello/parvello (make bench). The worker count defaults
# to the agent's number of connection threads, read from parvello/src/server/runtime.cpp.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$root/build/bench/parvello/parvello}
seconds=${2:-5}
workers=${3:-$(sed -n 's/.*constexpr unsigned kDefaultIoThreads = \([0-9][0-9]*\);.*/\1/p' \
    "$root/parvello/src/server/runtime.cpp")}
[ -n "$workers" ] || { echo "cannot tell the agent's connection threads; give the count as third argument" >&2; exit 1; }

[ -x "$binary" ] || { echo "no agent binary at $binary (make bench)" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is not installed (make bench)" >&2; exit 1; }
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx" ] || { echo "nginx is not installed (make bench)" >&2; exit 1; }

sandbox=$(mktemp -d)
agent=
web=
# `wait` gives the stopped process's status, which must not end the clean-up under `set -e`.
cleanup() {
    if [ -n "$agent" ]; then kill "$agent" 2>/dev/null; wait "$agent" 2>/dev/null || :; fi
    if [ -n "$web" ]; then kill "$web" 2>/dev/null; wait "$web" 2>/dev/null || :; fi
    rm -rf "$sandbox"
}
trap cleanup EXIT INT TERM

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# Waits up to 10 s for a listener on port $1 while process $2 (named $3, logging to $4) lives.
wait_for() {
    tries=0
    until python3 -c "import socket; socket.create_connection(('127.0.0.1', $1), 0.2)" 2>/dev/null; do
        tries=$((tries + 1))
        if [ "$tries" -ge 100 ] || ! kill -0 "$2" 2>/dev/null; then
            echo "$3 did not start:" >&2
            cat "$4" >&2
            exit 1
        fi
        sleep 0.1
    done
}

port=$(free_port)
XDG_CONFIG_HOME=$sandbox/config XDG_DATA_HOME=$sandbox/data XDG_STATE_HOME=$sandbox/state \
    "$binary" --no-tray --port "$port" 2>"$sandbox/agent.log" &
agent=$!
wait_for "$port" "$agent" agent "$sandbox/agent.log"

body=$(python3 -c "import urllib.request; print(urllib.request.urlopen('http://127.0.0.1:$port/status').read().decode())")
web_port=$(free_port)
mkdir -p "$sandbox/nginx"
cat >"$sandbox/nginx/nginx.conf" <<CONF
daemon off;
worker_processes $workers;
pid $sandbox/nginx/nginx.pid;
error_log $sandbox/nginx/error.log;
events { worker_connections 1024; }
http {
    access_log off;
    client_body_temp_path $sandbox/nginx/body;
    proxy_temp_path $sandbox/nginx/proxy;
    fastcgi_temp_path $sandbox/nginx/fastcgi;
    uwsgi_temp_path $sandbox/nginx/uwsgi;
    scgi_temp_path $sandbox/nginx/scgi;
    server {
        listen 127.0.0.1:$web_port;
        location = /status { default_type application/json; return 200 '$body'; }
    }
}
CONF
"$nginx" -p "$sandbox/nginx" -c "$sandbox/nginx/nginx.conf" 2>"$sandbox/nginx/start.log" &
web=$!
wait_for "$web_port" "$web" nginx "$sandbox/nginx/start.log"

# CPU time in clock ticks (user + system) of the given processes.
cpu_ticks() {
    for pid in "$@"; do sed 's/.*) //' "/proc/$pid/stat"; done | awk '{ t += $12 + $13 } END { print t }'
}
# measure <name> <url> <pid>...: runs wrk against the url and prints "<requests/s> <us CPU per
# request>" of the given processes; wrk's full report goes to standard error.
measure() {
    name=$1 url=$2
    shift 2
    echo "== $name" >&2
    before=$(cpu_ticks "$@")
    wrk --latency -t 2 -c 32 -d "${seconds}s" "$url" >"$sandbox/wrk.out"
    after=$(cpu_ticks "$@")
    cat "$sandbox/wrk.out" >&2
    awk -v ticks="$(getconf CLK_TCK)" -v cpu=$((after - before)) '
        $1 == "Requests/sec:" { rate = $2 }
        $2 == "requests" && $3 == "in" { served = $1 }
        END { printf "%.0f %.2f\n", rate, cpu / ticks * 1e6 / served }' "$sandbox/wrk.out"
}

agent_figures=$(measure agent "http://127.0.0.1:$port/status" "$agent")
# The master and its workers; nginx was started in the foreground, so $web is the master.
nginx_figures=$(measure nginx "http://127.0.0.1:$web_port/status" "$web" $(ps -o pid= --ppid "$web"))
echo "agent resident memory after the run: $(awk '$1 == "VmRSS:" { print $2, $3 }' "/proc/$agent/status")"
echo "$agent_figures $nginx_figures" | awk -v w="$workers" '{
    printf "GET /status, %d worker(s) each: agent %.0f req/s at %.1f us CPU per request; nginx %.0f req/s " \
           "at %.1f us CPU per request\n", w, $1, $2, $3, $4
    printf "ratios agent/nginx: requests/s %.2fx, CPU per request %.2fx\n", $1 / $3, $2 / $4
}'

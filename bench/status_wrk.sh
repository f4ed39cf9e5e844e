#!/bin/sh
# GET /status requests per second: starts the agent headless on a free loopback port with
# settings in a throw-away folder, and nginx (workers left at auto) on another port serving the
# agent's own /status body from memory; runs wrk against each for a few seconds and prints both
# rates and their ratio.
#
#   bench/status_wrk.sh [path/to/parvello] [seconds]
#
# The binary defaults to build/bench/parvello/parvello (make bench).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$root/build/bench/parvello/parvello}
seconds=${2:-5}

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
worker_processes auto;
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

# wrk's full report goes to standard error; the requests per second are returned.
rate() {
    wrk --latency -t 2 -c 32 -d "${seconds}s" "$1" >"$sandbox/wrk.out"
    cat "$sandbox/wrk.out" >&2
    awk '$1 == "Requests/sec:" { print $2 }' "$sandbox/wrk.out"
}
# CPU time of a process in clock ticks (user + system).
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
echo "== agent" >&2
agent_cpu=$(cpu_ticks "$agent")
agent_rate=$(rate "http://127.0.0.1:$port/status")
agent_cpu=$(( $(cpu_ticks "$agent") - agent_cpu ))
echo "== nginx" >&2
nginx_rate=$(rate "http://127.0.0.1:$web_port/status")
echo "agent resident memory after the run: $(awk '$1 == "VmRSS:" { print $2, $3 }' "/proc/$agent/status")"
ticks=$(getconf CLK_TCK)
python3 -c "print(f'GET /status: agent {$agent_rate:.0f} req/s, nginx {$nginx_rate:.0f} req/s, ratio {$agent_rate / $nginx_rate:.2f}x; agent CPU {$agent_cpu / $ticks * 1e6 / ($agent_rate * $seconds):.1f} us per request')"

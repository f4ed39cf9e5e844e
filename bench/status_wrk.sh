#!/bin/sh
# GET /status requests per second: starts the release agent headless on a free loopback port
# with settings in a throw-away folder, runs wrk against it for a few seconds, stops it.
#
#   bench/status_wrk.sh [path/to/parvello] [seconds]
#
# The binary defaults to build/release/parvello/parvello (cmake --preset release &&
# cmake --build --preset release).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$root/build/release/parvello/parvello}
seconds=${2:-5}

[ -x "$binary" ] || { echo "no agent binary at $binary (build the release preset)" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is not installed" >&2; exit 1; }

sandbox=$(mktemp -d)
agent=
cleanup() {
    [ -n "$agent" ] && kill "$agent" 2>/dev/null && wait "$agent" 2>/dev/null
    rm -rf "$sandbox"
}
trap cleanup EXIT INT TERM

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

XDG_CONFIG_HOME=$sandbox/config XDG_DATA_HOME=$sandbox/data XDG_STATE_HOME=$sandbox/state \
    "$binary" --no-tray --port "$port" 2>"$sandbox/agent.log" &
agent=$!

# Wait for the listener (up to 10 s).
tries=0
until python3 -c "import socket, sys; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null; do
    tries=$((tries + 1))
    if [ "$tries" -ge 100 ] || ! kill -0 "$agent" 2>/dev/null; then
        echo "agent did not start:" >&2
        cat "$sandbox/agent.log" >&2
        exit 1
    fi
    sleep 0.1
done

wrk --latency -t 2 -c 32 -d "${seconds}s" "http://127.0.0.1:$port/status"

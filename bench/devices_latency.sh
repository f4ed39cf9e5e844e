#!/bin/sh
# GET /devices end to end: starts the release agent headless under umockdev, attached to the
# printers and the serial port of bench/devices.umockdev, sends the requests one after another
# with curl and reports the median and the slowest answer time. Every request parses the
# built-in catalog and lists the USB devices and serial ports afresh.
#
#   bench/devices_latency.sh [path/to/parvello] [requests]
#
# The binary defaults to build/release/parvello/parvello (cmake --preset release &&
# cmake --build --preset release).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$root/build/release/parvello/parvello}
requests=${2:-200}

[ -x "$binary" ] || { echo "no agent binary at $binary (build the release preset)" >&2; exit 1; }
command -v umockdev-run >/dev/null || { echo "umockdev-run is not installed" >&2; exit 1; }
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 1; }

sandbox=$(mktemp -d)
agent=
cleanup() {
    [ -n "$agent" ] && kill "$agent" 2>/dev/null && wait "$agent" 2>/dev/null
    rm -rf "$sandbox"
}
trap cleanup EXIT INT TERM

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')

XDG_CONFIG_HOME=$sandbox/config XDG_DATA_HOME=$sandbox/data XDG_STATE_HOME=$sandbox/state \
    umockdev-run -d "$root/bench/devices.umockdev" -- "$binary" --no-tray --port "$port" \
    2>"$sandbox/agent.log" &
agent=$!

url=http://127.0.0.1:$port/devices
tries=0
until curl -s -o /dev/null "$url"; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || { echo "agent did not start:" >&2; cat "$sandbox/agent.log" >&2; exit 1; }
    sleep 0.1
done

echo "answer: $(curl -s "$url")"
i=0
while [ "$i" -lt "$requests" ]; do
    curl -s -o /dev/null -w '%{time_total}\n' "$url"
    i=$((i + 1))
done | sort -n | awk -v n="$requests" '
    { t[NR] = $1 * 1000 }
    END {
        median = (n % 2) ? t[(n + 1) / 2] : (t[n / 2] + t[n / 2 + 1]) / 2
        printf "GET /devices, %d requests: median %.2f ms, slowest %.2f ms\n", n, median, t[n]
    }'

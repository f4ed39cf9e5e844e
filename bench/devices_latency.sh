#!/bin/sh
# GET /devices against GET /status, end to end: starts the release agent headless under
# umockdev twice, once on an empty bus and once attached to the printers and the serial port of
# bench/devices.umockdev. Each time it reports the first GET /devices after start, then sends
# GET /devices and GET /status alternately over one kept-alive connection and reports both
# medians and their ratio. Last, a summary gives both ratios and both first answers beside their
# goals.
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
stop_agent() {
    if [ -n "$agent" ]; then kill "$agent" 2>/dev/null; wait "$agent" 2>/dev/null || :; fi
    agent=
}
cleanup() {
    stop_agent
    rm -rf "$sandbox"
}
trap cleanup EXIT INT TERM

# Answer times in ms, one a line, of `curl -w` lines "<path> <seconds>" read from stdin.
times_of() { awk -v path="$1" '$1 == path { print $2 * 1000 }' | sort -n; }
median() { awk '{ t[NR] = $1 } END { print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'; }

# run_case <name> [umockdev-run options...]
run_case() {
    name=$1
    shift
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    XDG_CONFIG_HOME=$sandbox/config XDG_DATA_HOME=$sandbox/data XDG_STATE_HOME=$sandbox/state \
        umockdev-run "$@" -- "$binary" --no-tray --port "$port" 2>"$sandbox/agent.log" &
    agent=$!

    base=http://127.0.0.1:$port
    tries=0
    # Waiting on /status leaves the first GET /devices to the measurement below.
    until curl -s -o /dev/null "$base/status"; do
        tries=$((tries + 1))
        [ "$tries" -lt 100 ] || { echo "agent did not start:" >&2; cat "$sandbox/agent.log" >&2; exit 1; }
        sleep 0.1
    done

    first=$(curl -s -o "$sandbox/answer" -w '%{time_total}' "$base/devices" | awk '{ print $1 * 1000 }')
    : >"$sandbox/curl.conf"
    i=0
    while [ "$i" -lt "$requests" ]; do
        printf 'url = "%s/devices"\noutput = "/dev/null"\nurl = "%s/status"\noutput = "/dev/null"\n' \
            "$base" "$base" >>"$sandbox/curl.conf"
        i=$((i + 1))
    done
    curl -s -K "$sandbox/curl.conf" -w '%{url_effective} %{time_total}\n' |
        sed "s|^$base||" >"$sandbox/times"
    stop_agent

    devices=$(times_of /devices <"$sandbox/times" | median)
    status=$(times_of /status <"$sandbox/times" | median)
    slowest=$(times_of /devices <"$sandbox/times" | tail -n 1)
    echo "$name: answer $(cat "$sandbox/answer")"
    awk -v name="$name" -v n="$requests" -v first="$first" -v d="$devices" -v s="$status" -v w="$slowest" 'BEGIN {
        printf "%s, %d requests each: first GET /devices %.2f ms; GET /devices median %.2f ms " \
               "(slowest %.2f ms), GET /status median %.2f ms, ratio %.1fx\n", name, n, first, d, w, s, d / s
    }'
    summary="$summary$(awk -v name="$name" -v first="$first" -v d="$devices" -v s="$status" 'BEGIN {
        printf "  %s: GET /devices median / GET /status median %.1fx (goal <= 5x); first GET /devices %.2f ms (goal <= 15 ms)\\n",
               name, d / s, first
    }')"
}

summary=
run_case "empty bus"
run_case "devices.umockdev" -d "$root/bench/devices.umockdev"
printf 'summary, both cases of this run:\n%b' "$summary"

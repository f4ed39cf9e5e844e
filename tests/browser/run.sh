#!/usr/bin/env bash
# A real browser against the built agent: headless Chromium loads pages from a trusted and
# from an untrusted local origin and uses the agent from them over fetch and WebSocket.
# Usage: tests/browser/run.sh <path to the parvello binary> <the version it reports>
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 <parvello binary> <version>" >&2
  exit 2
fi
agent="$(realpath "$1")"
cd "$(dirname "$0")"
if [ ! -d node_modules ]; then
  npm ci --no-audit --no-fund --loglevel=error
fi
exec node browser_test.mjs "$agent" "$2"

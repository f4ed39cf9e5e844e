#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config make
  libboost1.81-dev nlohmann-json3-dev libfmt-dev libcli11-dev libtomlplusplus-dev
  libusb-1.0-0-dev libserialport-dev
  libgtk-3-dev libwebkit2gtk-4.1-dev libdbusmenu-glib-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
)
if [ "${1:-}" = "--test" ]; then
  # The fuzz target (scripts/run-fuzz.sh) is built by clang 16 against libc++ 16: clang does
  # not yet take libstdc++ 12's std::expected, and libc++ has it from version 16.
  # The browser tests (tests/browser) drive the system's Chromium through playwright-core,
  # which runs on Node.js and is installed by npm. A machine that already has both commands
  # (for instance a newer Node.js from elsewhere, which Debian's npm package conflicts with)
  # keeps them.
  command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
  # The desktop tests (tests/desktop) run the agent on Xvfb with a private dbus-daemon and look
  # at its windows through Xlib and XTest.
  packages+=(umockdev libumockdev-dev python3
             clang-16 libclang-rt-16-dev libc++-16-dev libc++abi-16-dev
             chromium
             xvfb xauth dbus-x11 libx11-dev libxtst-dev desktop-file-utils)
fi
if [ "${1:-}" = "--bench" ]; then
  # bench/status_wrk.sh loads the agent with wrk and serves the same body from nginx beside it.
  packages+=(wrk nginx-light python3)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

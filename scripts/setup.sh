#!/usr/bin/env bash
# Installs the Debian packages the build and tests need (once), then configures
# and builds. Usage: scripts/setup.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(build-essential cmake ninja-build pkg-config git
          libgtest-dev libgmock-dev googletest libbenchmark-dev
          libsndfile1-dev libasound2-dev clang-format python3 ccache
          qt6-base-dev qt6-svg-dev fonts-liberation
          mandoc file  # manual-page check; file and dpkg-shlibdeps for cpack -G DEB
          clang-14 libclang-rt-14-dev)  # the fuzz targets (scripts/fuzz.sh)
# Feeds: the MQTT and PagerMon clients, and the broker and clients the feed tests run.
packages+=(libmosquitto-dev libcurl4-openssl-dev mosquitto mosquitto-clients)
# SDR devices through SoapySDR (--sdr); the device modules are the user's to add.
packages+=(libsoapysdr-dev)
# The window under a real X server and window manager (desktop_wm_tests).
packages+=(xvfb openbox libxcb1-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

build="${1:-build}"
shift || true
cmake -S . -B "$build" -G Ninja "$@" >/dev/null
# SKELMAR_TARGETS="skelmar vantry" builds those targets alone (scripts/run-sample.sh).
targets=()
if [ -n "${SKELMAR_TARGETS:-}" ]; then
  read -r -a names <<<"$SKELMAR_TARGETS"
  targets=(--target "${names[@]}")
fi
cmake --build "$build" -j "$(nproc)" "${targets[@]}"

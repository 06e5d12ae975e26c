#!/usr/bin/env bash
# Installs the Debian packages the build, the programs and the tests need.
# Only what is missing is installed, so a warm machine skips apt entirely.
# Usage: scripts/install-deps.sh [build|test|package]
set -euo pipefail
mode=${1:-build}

packages=(
  cmake ninja-build g++ pkg-config ccache
  libjpeg-dev libpng-dev zlib1g-dev nettle-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libavdevice-dev libswresample-dev
  qt6-base-dev qt6-svg-dev libqt6svg6
  fonts-liberation2 fonts-noto-cjk
  libgtest-dev libgmock-dev
  libopencv-dev libopencv-contrib-dev
)
if [ "$mode" = test ]; then
  # Fixtures are generated with independent tools; fuzzers need clang's runtime;
  # benchmarks use Google Benchmark; the page is tested in Chromium.
  packages+=(
    clang libclang-rt-14-dev libbenchmark-dev
    imagemagick python3 python3-pil ffmpeg unzip openssl
    xvfb xauth chromium
    xdotool x11-utils
    firefox-esr
    webkit2gtk-driver
  )
  # Node.js usually comes with the machine (with its own npm, which Debian's
  # npm package would conflict with); install Debian's only when it is absent.
  if ! command -v node >/dev/null 2>&1; then
    packages+=(nodejs npm)
  fi
fi

if [ "$mode" = package ] || [ "$mode" = test ]; then
  # The Debian package: dependencies found by dpkg-shlibdeps, checked by
  # lintian; launchers checked by desktop-file-validate.
  packages+=(dpkg-dev fakeroot lintian desktop-file-utils file binutils)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "== installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "== all Debian packages present"
fi

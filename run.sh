#!/usr/bin/env bash
# Installs what is missing, builds an optimised release into build/ and starts
# the program from build/dist/.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh build
echo "== configuring build/ (Release)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRO_TESTS=OFF
echo "== building"
cmake --build build
if [ -x build/dist/veltrolt ]; then
  echo "== starting build/dist/veltrolt"
  exec build/dist/veltrolt "$@"
fi
echo "== build/dist/veltrotool --help"
exec build/dist/veltrotool --help

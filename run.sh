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
# Without a desktop session there is nowhere to show the program.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); start build/dist/veltrolt from a desktop session" >&2
  exit 1
fi
echo "== starting build/dist/veltrolt"
exec build/dist/veltrolt "$@"

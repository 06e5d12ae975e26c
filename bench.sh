#!/usr/bin/env bash
# Builds the benchmarks (Google Benchmark, optimised) into build-bench/ and runs
# every one, printing its figures. Baselines sit beside the measured cases in
# the same program, so the ratios come from the same run on the same machine.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test

echo "== configuring build-bench/ (Release, benchmarks on)"
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELTRO_BENCH=ON -DVELTRO_TESTS=OFF
echo "== building"
cmake --build build-bench -j "$(nproc)"

status=0
for program in build-bench/bench/*_bench; do
  [ -x "$program" ] || continue
  echo "== $(basename "$program")"
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$program" "$@" || status=1
done

# The browser viewer in each engine: first picture, pointer-to-picture
# latency at 1x and 2x, bytes and pixel memory, on a 300-frame and an 800-frame page.
if [ -x viewer/install.sh ] && command -v node >/dev/null 2>&1; then
  viewer/install.sh
  echo "== viewer_bench (Chromium, Firefox ESR, WebKitGTK)"
  VELTRO_DIST_DIR=build-bench/dist node viewer/bench/viewer_bench.mjs || status=1
fi
exit $status

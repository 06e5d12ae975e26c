#!/usr/bin/env bash
# Runs every libFuzzer harness for a given time, two at a time (the machine
# has two cores), seeded from fuzz/seeds/<name without "fuzz_">/, and prints
# per harness the executions and what it found. Builds the harnesses into
# build-fuzz/ first (clang, libFuzzer).
#
#   ./fuzz.sh [SECONDS_PER_HARNESS] [HARNESS...]     (default 300 s, every harness)
#
# Corpora grow in build-fuzz/corpus/<harness>/, logs go to
# build-fuzz/logs/<harness>.log, and crashing, hanging or exhausting inputs to
# build-fuzz/findings/<harness>/. Exits 1 when any harness found something.
set -euo pipefail
cd "$(dirname "$0")"
seconds=${1:-300}
shift || true
jobs=${VELTRO_FUZZ_JOBS:-2}

if [ "${VELTRO_FUZZ_NO_BUILD:-0}" != 1 ]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVELTRO_FUZZ=ON -DVELTRO_TESTS=OFF > /dev/null
  cmake --build build-fuzz --target fuzzers
fi

harnesses=()
if [ $# -gt 0 ]; then
  for name in "$@"; do harnesses+=("build-fuzz/fuzz/$name"); done
else
  for harness in build-fuzz/fuzz/fuzz_*; do
    [ -x "$harness" ] && harnesses+=("$harness")
  done
fi
mkdir -p build-fuzz/logs

run_one() {
  local harness=$1 seconds=$2
  local name seeds corpus findings
  name=$(basename "$harness")
  seeds=fuzz/seeds/${name#fuzz_}
  corpus=build-fuzz/corpus/$name
  findings=build-fuzz/findings/$name
  mkdir -p "$corpus" "$findings"
  local inputs=("$corpus")
  [ -d "$seeds" ] && inputs+=("$seeds")
  # -fork keeps fuzzing after a finding; each finding lands in $findings.
  nice -n 10 "$harness" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -artifact_prefix="$findings/" "${inputs[@]}" > "build-fuzz/logs/$name.log" 2>&1 || true
}
export -f run_one

printf '%s\n' "${harnesses[@]}" | xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$seconds"

status=0
printf '%-26s %12s %8s %s\n' harness executions corpus findings
for harness in "${harnesses[@]}"; do
  name=$(basename "$harness")
  log=build-fuzz/logs/$name.log
  # Fork mode reports "#N ... exec/s" lines from the parent; the last one
  # counts every execution of every child.
  runs=$(grep -Eo '^#[0-9]+' "$log" | tail -1 | tr -d '#' || true)
  corpus=$(find "build-fuzz/corpus/$name" -type f | wc -l)
  found=$(find "build-fuzz/findings/$name" -type f | wc -l)
  printf '%-26s %12s %8s %s\n' "$name" "${runs:-?}" "$corpus" "$found"
  [ "$found" -eq 0 ] || { status=1; find "build-fuzz/findings/$name" -type f | sed 's/^/    /'; }
done
exit $status

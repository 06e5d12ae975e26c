#!/usr/bin/env bash
# Installs what is missing, builds the tests with AddressSanitizer (leak
# detection on) and UndefinedBehaviorSanitizer into build-test/, runs every
# test with ctest, then
# runs each fuzz harness briefly (clang build in build-fuzz/).
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh test
jobs=$(nproc)
# The browser viewer's tests need playwright-core from npm.
if [ -x viewer/install.sh ]; then
  viewer/install.sh
fi

echo "== configuring build-test/ (Debug, ASan + UBSan)"
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELTRO_SANITIZE=ON -DVELTRO_TESTS=ON
echo "== building"
cmake --build build-test -j "$jobs"
echo "== running tests"
# LeakSanitizer is on for every test and fuzz run; scripts/lsan.supp lists
# the only leaks tolerated, those of system libraries.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build-test --output-on-failure -j "$jobs"

# The Debian package, built from a release build and checked by lintian.
if [ "${VELTRO_SKIP_PACKAGE:-0}" != 1 ]; then
  ./package.sh
fi

if [ "${VELTRO_SKIP_FUZZ:-0}" != 1 ]; then
  echo "== building fuzz harnesses (clang, libFuzzer)"
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVELTRO_FUZZ=ON -DVELTRO_TESTS=OFF
  cmake --build build-fuzz -j "$jobs" --target fuzzers
  seconds=${VELTRO_FUZZ_SECONDS:-20}
  for harness in build-fuzz/fuzz/fuzz_*; do
    [ -x "$harness" ] || continue
    name=$(basename "$harness")
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=fuzz/seeds/${name#fuzz_}
    echo "== fuzzing $name for ${seconds}s"
    if [ -d "$seeds" ]; then
      "$harness" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$corpus" "$seeds" > "build-fuzz/$name.log" 2>&1 \
        || { tail -50 "build-fuzz/$name.log"; exit 1; }
    else
      "$harness" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "$corpus" > "build-fuzz/$name.log" 2>&1 \
        || { tail -50 "build-fuzz/$name.log"; exit 1; }
    fi
    tail -1 "build-fuzz/$name.log"
  done
fi
echo "== all tests passed"

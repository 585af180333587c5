#!/usr/bin/env bash
# Installs the dependencies, builds and runs the whole test suite three
# times: as built for use (g++), under ThreadSanitizer (clang), and under
# AddressSanitizer and UndefinedBehaviorSanitizer (clang), where the fuzz
# targets of the parsers of outside input also run for a short time as tests.
# The last lines are ctest's summary of the sanitizer run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=${ZT_JOBS:-2}

echo "== build (release) =="
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
echo "== tests (release) =="
ctest --test-dir build --output-on-failure -j"$jobs" --timeout 300

if [ "${ZT_SKIP_SANITIZERS:-0}" != "1" ]; then
  echo "== build (TSan, clang) =="
  CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZT_TSAN=ON -DZT_BUILD_BENCH=OFF >/dev/null
  cmake --build build-tsan -j"$jobs"
  echo "== tests (TSan) =="
  # Qt is not built with the sanitizer: what its own threads do with memory
  # (the image conversion pool, the bus thread) is not ours to judge.
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1 \
    ctest --test-dir build-tsan --output-on-failure -j"$jobs" --timeout 600

  echo "== build (ASan+UBSan, clang, fuzz targets) =="
  # Qt keeps some allocations for the life of the process, so leak checking
  # is off for the suite (test discovery runs the binaries at build time);
  # the fuzz targets, which do not start Qt, turn it back on for themselves.
  export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DZT_SANITIZE=ON -DZT_FUZZ=ON -DZT_BUILD_BENCH=OFF >/dev/null
  cmake --build build-asan -j"$jobs"
  echo "== tests (ASan+UBSan) =="
  ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 600
fi

#!/usr/bin/env bash
# Builds and runs the whole test suite: a normal build, then the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero when
# any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
JOBS=$(nproc)
export QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$JOBS"
(cd build && ctest --output-on-failure -j"$JOBS")

if [ "${SONALIGN_SKIP_SANITIZERS:-0}" != 1 ]; then
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSONALIGN_SANITIZE=ON > /dev/null
  cmake --build build-asan -j"$JOBS"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j"$JOBS")
fi

#!/usr/bin/env bash
# Builds and runs the whole test suite: a normal build, then the same suite
# under AddressSanitizer and UndefinedBehaviorSanitizer, then the tests that
# run threads (the table's worker, the folder grouping, the engine's peak
# worker) under ThreadSanitizer. Exits non-zero when any test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
bash scripts/install-deps.sh
JOBS=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "== normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$JOBS"
(cd build && ctest --output-on-failure -j"$JOBS")

echo "== Debian package"
bash scripts/check-package.sh build

if [ "${SONALIGN_SKIP_SANITIZERS:-0}" != 1 ]; then
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DSONALIGN_SANITIZE=ON -DSONALIGN_BUILD_BENCH=OFF > /dev/null
  cmake --build build-asan -j"$JOBS"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j"$JOBS")

  echo "== ThreadSanitizer (threaded tests)"
  THREADED=(tst_BrowsingTable tst_grouping tst_mixer)
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DSONALIGN_TSAN=ON -DSONALIGN_BUILD_BENCH=OFF > /dev/null
  cmake --build build-tsan -j"$JOBS" --target "${THREADED[@]}"
  regex="^($(IFS='|'; echo "${THREADED[*]}"))\$"
  (cd build-tsan && TSAN_OPTIONS="suppressions=$ROOT/tests/sanitizers/tsan.supp halt_on_error=1" \
     ctest --output-on-failure -R "$regex")
fi

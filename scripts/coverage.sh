#!/usr/bin/env bash
# Line and branch coverage of the libraries, the window and the CLI, measured
# by running the whole suite offscreen on a Debug build made with --coverage
# in its own folder (build-coverage). Tests, fuzz targets and benchmarks are
# not counted. Prints gcovr's per-file table, then the totals.
# SONALIGN_COVERAGE_JOBS sets the build parallelism (default: nproc);
# SONALIGN_COVERAGE_TESTS, a ctest -R pattern, runs only the tests it matches
# (to compare what a group of tests covers before and after a change).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$(pwd)"
BUILD="$ROOT/build-coverage"
JOBS="${SONALIGN_COVERAGE_JOBS:-$(nproc)}"
export QT_QPA_PLATFORM=offscreen

LAUNCHER=()
if command -v ccache > /dev/null; then
  LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # A base directory makes ccache compile with relative paths, which gcov then
  # cannot resolve: sources are named by their absolute paths here.
  unset CCACHE_BASEDIR
fi
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DSONALIGN_BUILD_BENCH=OFF "${LAUNCHER[@]}" \
  -DCMAKE_CXX_FLAGS="--coverage -fprofile-update=atomic" -DCMAKE_EXE_LINKER_FLAGS="--coverage" \
  -DCMAKE_SHARED_LINKER_FLAGS="--coverage" > /dev/null
cmake --build "$BUILD" -j"$JOBS"

# Counters of an earlier run would add up with this one's.
find "$BUILD" -name '*.gcda' -delete
FILTER=()
[ -n "${SONALIGN_COVERAGE_TESTS:-}" ] && FILTER=(-R "$SONALIGN_COVERAGE_TESTS")
(cd "$BUILD" && ctest --output-on-failure -j"$JOBS" "${FILTER[@]}") || echo "== some tests failed: coverage below counts what ran"

DIRS='common|soundfile|take|insertion|analysis|browser|app|tools'
# Counters of threaded code are updated atomically; a count gcov still
# cannot read is skipped (reported on stderr) rather than ending the report.
# Branches the compiler adds for exceptions and for lines without code are
# not counted: no test could take them.
gcovr --gcov-ignore-parse-errors --exclude-throw-branches --exclude-unreachable-branches --root "$ROOT" --object-directory "$BUILD" --filter "^($DIRS)/" \
  --json "$BUILD/coverage.json" > /dev/null
gcovr --add-tracefile "$BUILD/coverage.json" --txt -
gcovr --add-tracefile "$BUILD/coverage.json" --txt - --branches --print-summary | tail -n 3

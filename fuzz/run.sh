#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang and runs each for SECONDS (default 600),
# two at a time. Usage: bash fuzz/run.sh [SECONDS] [TARGET...]
# Seeds come from fuzz/corpus/<target> (read only); new inputs go to
# build-fuzz/corpus/<target>, crashes to build-fuzz/artifacts/<target>/, logs
# to build-fuzz/logs/<target>.log. Exits 1 when a target found something.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-600}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(fuzz_chunkscan fuzz_chunkwrite fuzz_bext fuzz_ixml fuzz_grouping)
BUILD=${SONALIGN_FUZZ_BUILD:-build-fuzz}

if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  echo "needs clang and libFuzzer: apt-get install -y clang libclang-rt-dev (or libclang-rt-14-dev)" >&2
  exit 2
fi
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -DSONALIGN_BUILD_GUI=OFF -DSONALIGN_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j2 --target "${TARGETS[@]}" >/dev/null

# Inputs of the grouping target are lists of names: let them be long at once.
extra_flags() {
  case "$1" in
    fuzz_grouping) echo -len_control=0 ;;
  esac
}

max_len() {
  case "$1" in
    fuzz_bext) echo 1024 ;;
    fuzz_grouping) echo 4096 ;;
    *) echo 16384 ;;
  esac
}

run_one() {
  local t=$1
  mkdir -p "$BUILD/corpus/$t" "$BUILD/artifacts/$t" "$BUILD/logs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$BUILD/fuzz/$t" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -timeout=10 \
    -max_len="$(max_len "$t")" $(extra_flags "$t") -print_final_stats=1 \
    -artifact_prefix="$BUILD/artifacts/$t/" "$BUILD/corpus/$t" "fuzz/corpus/$t" \
    >"$BUILD/logs/$t.log" 2>&1
}

status=0
i=0
pids=()
names=()
for t in "${TARGETS[@]}"; do
  run_one "$t" &
  pids+=($!); names+=("$t")
  i=$((i + 1))
  if [ $((i % 2)) -eq 0 ] || [ $i -eq ${#TARGETS[@]} ]; then
    for k in "${!pids[@]}"; do
      if wait "${pids[$k]}"; then r=0; else r=$?; fi
      n=${names[$k]}
      stats=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$BUILD/logs/$n.log" | tail -1 || true)
      execs=$(grep -E '^stat::number_of_executed_units' "$BUILD/logs/$n.log" | awk '{print $2}' || true)
      echo "$n: exit $r, executions ${execs:-?}; ${stats:-no final stats line}"
      [ "$r" -eq 0 ] || { status=1; echo "  see $BUILD/logs/$n.log and $BUILD/artifacts/$n/"; }
    done
    pids=(); names=()
  fi
done
exit $status

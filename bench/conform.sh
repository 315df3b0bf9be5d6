#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Conform benchmark. First the plan (bench_conform plan: 1000 takes of 8
# tracks against 60 sources, next to the target listing alone). Then the
# apply: `sonalign-cli conform` on a generated day (takes of 2 tracks, each
# filled from two source files), against `dd bs=1M conv=fsync` writing the
# same total number of bytes in this same script; and the peak memory for two
# day sizes and two take lengths, which must stay flat.
#
#   bench/conform.sh BUILD_DIR [TAKES SECONDS ...]   (default: 4 60 16 60 4 240)
#
# Not a test: CI does not run it. The big files are removed at the end.
set -eu

BUILD=${1:?usage: bench/conform.sh BUILD_DIR [TAKES SECONDS ...]}
shift
CASES=${*:-4 60 16 60 4 240}
CLI=$BUILD/tools/sonalign-cli
MAKER=$BUILD/bench/bench_conform
for tool in "$CLI" "$MAKER"; do
    [ -x "$tool" ] || { echo "missing $tool: build sonalign-cli and bench_conform first" >&2; exit 2; }
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/sonalign-conform.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

. "$(dirname "$0")/measure.sh"

echo "== plan"
"$MAKER" plan 1000

echo "== apply"
printf '%-6s %-8s %-10s %-10s %-9s %-11s %-10s\n' takes take_s written_MB conform_s dd_s conform/dd conform_MB
set -- $CASES
while [ $# -ge 2 ]; do
    takes=$1
    seconds=$2
    shift 2
    rm -rf "$WORK/d" "$WORK/dd.in" "$WORK/dd.out"
    "$MAKER" day "$WORK/d" "$takes" "$seconds" >/dev/null
    sync   # the day's files are on disk, as a real day's are
    cat "$WORK/d"/day/* "$WORK/d"/boom/* >/dev/null   # same page-cache state for both
    c=$(measure "$CLI" conform "$WORK/d/boom" "$WORK/d/day" --track next)
    n=$(ls "$WORK/d/day" | grep -c '_03\.WAV$' || true)
    [ "$n" -eq "$takes" ] || { echo "conform wrote $n of $takes takes" >&2; exit 1; }
    bytes=$(cat "$WORK/d"/day/*_03.WAV | wc -c)
    # dd writes the same number of bytes from a cached file, synced at the end.
    cat "$WORK/d"/day/*_03.WAV >"$WORK/dd.in"
    sync
    d=$(measure dd if="$WORK/dd.in" of="$WORK/dd.out" bs=1M conv=fsync status=none)
    echo "$takes $seconds $bytes $c $d" | awk '{
        printf "%-6s %-8s %-10.1f %-10.3f %-9.3f %-11.2f %-10.1f\n",
            $1, $2, $3 / 1048576, $4, $7, $4 / $7, $5 / 1024 }'
done

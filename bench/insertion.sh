#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Insertion benchmark: times `sonalign-cli create` on a one-hour 48 kHz 24-bit
# mono take against two baselines that move the same bytes in this same
# script: dd with 1 MiB blocks (a plain copy of a file of the new file's size)
# and sox extracting the same segment with trim and pad. Reports the ratios and
# the peak memory; a shorter take shows how memory grows with the length.
# The same create from a 32-bit float source (the same audio, converted to the
# take's 24 bits in the copy loop) is timed against the copying create:
# float/copy is that ratio (target: at most 1.15; the runs alternate so that
# both see the same load), and the two new tracks must hold the same samples.
#
#   bench/insertion.sh BUILD_DIR [TAKE_SECONDS ...]     (default: 600 3600)
#
# Not a test: CI does not run it. The big files are removed at the end.
set -eu

BUILD=${1:?usage: bench/insertion.sh BUILD_DIR [TAKE_SECONDS ...]}
shift
SIZES=${*:-600 3600}
CLI=$BUILD/tools/sonalign-cli
MAKER=$BUILD/bench/bench_insertion
RUNS=${RUNS:-3}
for tool in "$CLI" "$MAKER"; do
    [ -x "$tool" ] || { echo "missing $tool: build sonalign-cli and bench_insertion first" >&2; exit 2; }
done
command -v sox >/dev/null || { echo "sox is needed" >&2; exit 2; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/sonalign-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

. "$(dirname "$0")/measure.sh"

# Best of RUNS: prints "seconds max_rss_kb" of the fastest run.
best() {
    prep=$1
    shift
    bestline=""
    i=0
    while [ $i -lt "$RUNS" ]; do
        eval "$prep"
        line=$(measure "$@")
        if [ -z "$bestline" ] || awk -v a="$line" -v b="$bestline" 'BEGIN { split(a, x, " "); split(b, y, " "); exit !(x[1] < y[1]) }'; then
            bestline=$line
        fi
        i=$((i + 1))
    done
    echo "$bestline"
}

# Of two "seconds max_rss_kb" lines (the first may be empty), the faster.
faster() {
    if [ -z "$1" ] || awk -v a="$2" -v b="$1" 'BEGIN { split(a, x, " "); split(b, y, " "); exit !(x[1] < y[1]) }'; then
        echo "$2"
    else
        echo "$1"
    fi
}

printf '%-8s %-10s %-9s %-9s %-9s %-11s %-11s %-10s %-10s %-9s %-9s %-11s %-15s %-9s\n' take_s new_MB create_s dd_s sox_s create/dd sox/create create_MB sox_MB copy_s float_s float/copy float/copy_cpu float_MB
for seconds in $SIZES; do
    rm -rf "$WORK/p"
    info=$("$MAKER" "$WORK/p" "$seconds")
    copied=$(echo "$info" | sed -n 's/.*copied_seconds=\([0-9]*\).*/\1/p')
    take="$WORK/p/Master/AA0001_01.WAV"
    source="$WORK/p/Extra/SOURCE.WAV"
    new="$WORK/p/Master/AA0001_02.WAV"
    cat "$take" "$source" >/dev/null   # same page-cache state for every contender

    c=$(best "rm -f '$new'" "$CLI" create --track 2 --name Bench "$source" "$WORK/p/Master" AA0001)
    [ -f "$new" ] || { echo "create did not write $new" >&2; exit 1; }
    newsize=$(stat -c %s "$new")
    [ "$newsize" -eq "$(stat -c %s "$take")" ] || { echo "new file size differs from the take's" >&2; exit 1; }

    # dd copies a file of the new file's size (the take itself) with 1 MiB blocks.
    d=$(best "rm -f '$WORK/dd.out'" dd if="$take" of="$WORK/dd.out" bs=1M status=none)
    # sox: the same segment, 120 s of silence then the copied part.
    s=$(best "rm -f '$WORK/sox.wav'" sox "$source" "$WORK/sox.wav" trim 0 "$copied" pad 120 0)
    rm -f "$WORK/dd.out" "$WORK/sox.wav"

    # The float source into the same track against the copying create, runs
    # alternating so that both see the same load on a shared machine; the
    # best of each is kept. Then the two new tracks must hold the same samples.
    float="$WORK/p/Extra/FLOAT.WAV"
    cat "$float" >/dev/null
    pc=""
    fl=""
    i=0
    while [ $i -lt "$RUNS" ]; do
        rm -f "$new"
        line=$(measure "$CLI" create --track 2 --name Bench "$source" "$WORK/p/Master" AA0001)
        pc=$(faster "$pc" "$line")
        rm -f "$new"
        line=$(measure "$CLI" create --track 2 --name Bench "$float" "$WORK/p/Master" AA0001)
        fl=$(faster "$fl" "$line")
        i=$((i + 1))
    done
    [ -f "$new" ] || { echo "create did not write $new from the float source" >&2; exit 1; }
    mv "$new" "$WORK/float.wav"
    "$CLI" create --track 2 --name Bench "$source" "$WORK/p/Master" AA0001 >/dev/null
    mv "$new" "$WORK/copy.wav"
    data=$("$CLI" info "$WORK/copy.wav" | awk '$1 == "data" { sub("offset=", "", $2); sub("size=", "", $3); print $2, $3 }')
    off=${data% *}
    len=${data#* }
    cmp -s -n "$len" -i "$off:$off" "$WORK/float.wav" "$WORK/copy.wav" || { echo "the float source gave other samples" >&2; exit 1; }
    rm -f "$WORK/float.wav"
    rm -f "$WORK/copy.wav"

    # Fields: seconds size, then "wall rss cpu" of create, dd, sox, copy, float.
    echo "$seconds $newsize $c $d $s $pc $fl" | awk '{
        printf "%-8s %-10.1f %-9.3f %-9.3f %-9.3f %-11.2f %-11.2f %-10.1f %-10.1f %-9.3f %-9.3f %-11.2f %-15.2f %-9.1f\n",
            $1, $2 / 1048576, $3, $6, $9, $3 / $6, $9 / $3, $4 / 1024, $10 / 1024, $12, $15, $15 / $12, $17 / $14, $16 / 1024 }'
done

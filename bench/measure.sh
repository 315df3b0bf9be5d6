# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the benchmark scripts, after they set WORK (their scratch folder).
# measure COMMAND...: runs it under /usr/bin/time -v and prints
# "seconds max_rss_kb cpu_seconds" (cpu = user + system: steadier than the
# wall clock on a loaded machine).
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed" >&2; exit 2; }

measure() {
    /usr/bin/time -v "$@" >/dev/null 2>"$WORK/time.txt" || { cat "$WORK/time.txt" >&2; exit 1; }
    awk -F': ' '
        /Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i] }
        /Maximum resident set size/ { rss = $2 }
        /User time \(seconds\)/ { cpu += $2 }
        /System time \(seconds\)/ { cpu += $2 }
        END { printf "%.3f %d %.3f\n", s, rss, cpu }' "$WORK/time.txt"
}

#!/usr/bin/env bash
# Lines of code (every .cpp/.h of the libraries, the window and the CLI) against
# lines of tests (everything under tests/), and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { find "$@" -type f -print0 | xargs -0 cat | wc -l; }
code=$(count common soundfile take insertion analysis browser app tools \( -name '*.cpp' -o -name '*.h' \))
tests=$(count tests)
echo "code lines: $code"
echo "test lines: $tests"
awk -v t="$tests" -v c="$code" 'BEGIN { printf "ratio: %.3f\n", t / c }'

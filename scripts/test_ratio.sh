#!/usr/bin/env bash
# Prints the weight of the tests against the code they test: non-blank lines
# of tests/ (the C++ tests, their support and the T-SQL conformance files)
# over non-blank lines of src/, include/ and tools/.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.test' \) -print0 |
    xargs -0 cat | grep -cv '^[[:space:]]*$'
}
tests=$(count tests)
code=$(count src include tools)
awk -v t="$tests" -v c="$code" \
  'BEGIN { printf "test lines %d / code lines %d = %.2f\n", t, c, t / c }'

#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
#   scripts/test.sh              the ordinary build
#   scripts/test.sh --sanitize   the same under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=$(bash scripts/build.sh "$@" | tail -n 1)
if [[ "${1:-}" == "--sanitize" ]]; then
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cd "$build_dir"
jobs=$(nproc)
# One server database serves every test program: they take turns on it.
[[ -n "${ESCHF_TEST_MSSQL:-}" ]] && jobs=1
ctest --output-on-failure --timeout 900 -j "$jobs"

#!/usr/bin/env bash
# Builds the fuzz target over the file import in build-fuzz/ (clang, libFuzzer, ASan+UBSan) and runs
# it for a bounded time, seeded with the test invoices. Not part of CI.
#   scripts/fuzz.sh [seconds]     default 300
# Findings land in build-fuzz/findings/ (crash-*, timeout-*, oom-*).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}

ESCHF_FUZZ=1 bash scripts/deps.sh
build_dir=build-fuzz
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    CC=clang-14 CXX=clang++-14 cmake -S . -B "$build_dir" "${generator[@]}" -DESCHF_FUZZ=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build_dir" --parallel "$(nproc)" --target fuzz_import

corpus=$build_dir/corpus
findings=$build_dir/findings
mkdir -p "$corpus" "$findings"
cp -n tests/data/invoices/*.xml tests/data/bad/*.xml "$corpus"/
[[ -d tests/data/fuzz ]] && cp -n tests/data/fuzz/* "$corpus"/ 2>/dev/null || true

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LANG=C.UTF-8
"$build_dir/bin/fuzz_import" "$corpus" -artifact_prefix="$findings/" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -max_len=65536 -dict=fuzz/invoice.dict -print_final_stats=1

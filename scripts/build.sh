#!/usr/bin/env bash
# Configures and builds into build/ (build-sanitize/ with --sanitize).
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
cmake_args=()
if [[ "${1:-}" == "--sanitize" ]]; then
    build_dir=build-sanitize
    cmake_args+=(-DESCHF_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
    export ESCHF_SANITIZE=1
fi
bash scripts/deps.sh
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
[[ -f "$build_dir/CMakeCache.txt" ]] || cmake -S . -B "$build_dir" "${generator[@]}" "${cmake_args[@]}" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
echo "$build_dir"

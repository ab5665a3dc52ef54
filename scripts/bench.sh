#!/usr/bin/env bash
# Builds an optimised tree (no sanitizers, no tests) and runs the benchmark,
# which makes its own files (about 400 MB, removed again), measures the list
# build, the apply, the backup copy and the review window beside the floor
# SQLite or cp sets on the same files, and prints a Markdown table.
# Arguments go to tarvex-bench (--quick for a short trial run).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${TARVEX_BENCH_BUILD:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tarvex-bench >&2
"$build/tarvex-bench" "$@"

#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang and runs each for a bounded
# time (FUZZ_SECONDS, 60 by default), starting from its saved inputs in
# fuzz/corpus/<target>/. New inputs the fuzzer finds go to a scratch folder,
# not into the repository; a crash, leak or sanitizer report stops the run,
# and its input is left as crash-* / leak-* in the build folder, to be fixed
# and then kept under fuzz/corpus/<target>/.
#
#   scripts/fuzz.sh                 every target for 60 s
#   FUZZ_SECONDS=600 scripts/fuzz.sh update_database
set -euo pipefail
cd "$(dirname "$0")/.."
TARVEX_WITH_OPTIONAL=1 bash scripts/install-deps.sh
build=${TARVEX_FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(private_profile desktop_entry shortcut update_database access_file access_properties)

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEX_FUZZ=ON \
    -DTARVEX_SANITIZE=ON -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target $(printf 'fuzz_%s ' "${targets[@]}")

export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
status=0
for target in "${targets[@]}"; do
    scratch=$(mktemp -d)
    # An Access file is pages of 2 or 4 KiB: its seeds are whole small files.
    max_len=65536
    [ "$target" = access_file ] && max_len=262144
    echo "== fuzz_$target for ${seconds}s" >&2
    if ! (cd "$build" && "./fuzz/fuzz_$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
            -print_final_stats=1 "$scratch" "$OLDPWD/fuzz/corpus/$target"); then
        echo "== fuzz_$target found a fault; its input is in $build/" >&2
        status=1
    fi
    rm -rf "$scratch"
done
exit $status

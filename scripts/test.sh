#!/usr/bin/env bash
# Builds every target with warnings as errors and with AddressSanitizer and
# UndefinedBehaviorSanitizer, and the programs with the Debian package's
# flags, warnings as errors too; then runs the whole test suite through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${TARVEX_TEST_BUILD:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARVEX_WERROR=ON -DTARVEX_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
# The programs once more as the package builds them, warnings as errors: the
# optimiser and the fortified C library raise warnings (a result left
# unchecked, an overlapping copy) that the debug build never sees. Only the
# programs: the tests are built once, above.
bash scripts/configure-package-build.sh "$build-package-flags" -DTARVEX_WERROR=ON
cmake --build "$build-package-flags" -j"$(nproc)" --target tarvex tarvex-pricelist tarvex-samplehost
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" --timeout 300

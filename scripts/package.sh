#!/usr/bin/env bash
# Makes the Debian package tarvex_VERSION_ARCH.deb: an optimised build without
# sanitizers, tests or benchmark, with Debian's hardening flags, installed into
# the package by CPack, which has dpkg-shlibdeps work out the dependencies from
# the programs. Prints the package's path last.
#   TARVEX_PACKAGE_BUILD  the build folder (build-package)
#   --check               then check the package: lintian, and a terminal run
#                         of the programs unpacked from it
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = "--check" ]; then
    TARVEX_WITH_PACKAGING=1 bash scripts/install-deps.sh
else
    bash scripts/install-deps.sh
fi
build=${TARVEX_PACKAGE_BUILD:-build-package}
bash scripts/configure-package-build.sh "$build"
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/tarvex_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/tarvex_*.deb)
if [ "${1:-}" = "--check" ]; then
    bash tests/packaging/check-lintian.sh "$package"
    bash tests/packaging/run-unpacked.sh "$package" "$PWD"
fi
echo "$package"

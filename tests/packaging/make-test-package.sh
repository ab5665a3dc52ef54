#!/usr/bin/env bash
# Makes the Debian package with CPack from the programs already built in a
# build folder (no new build: seconds, not minutes), for the tests that check
# a package. The package made from a test build holds that build's programs,
# sanitizers and all; scripts/package.sh makes the one to ship.
# Usage: make-test-package.sh BUILD_DIR OUTPUT.deb   (exit 77: dpkg-dev missing)
set -euo pipefail
build=$1
output=$2
rm -f "$output"
for tool in dpkg-deb dpkg-shlibdeps; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed (package dpkg-dev)"
        exit 77
    fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log"
    exit 1
}
mkdir -p "$(dirname "$output")"
mv "$work"/tarvex_*.deb "$output"
dpkg-deb --info "$output"

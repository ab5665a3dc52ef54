#!/usr/bin/env bash
# Configures a build folder as the Debian package is built: optimised
# (Release), with the flags dpkg-buildflags gives Debian's own packages, here
# all of its hardening (stack protector, fortified functions, read-only
# relocations bound at start), and without sanitizers, tests, benchmark or
# fuzz targets. Further arguments go to cmake after these.
# Usage: configure-package-build.sh BUILD_DIR [CMAKE_ARGUMENT...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
shift
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTARVEX_SANITIZE=OFF -DTARVEX_WERROR=OFF -DTARVEX_FUZZ=OFF \
    -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" "$@" >/dev/null

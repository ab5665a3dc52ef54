#!/usr/bin/env bash
# Builds the release package with scripts/package.sh in a temporary build
# folder and checks it (lintian, and a whole run of the unpacked programs).
# The build takes minutes, so it runs only when asked for with
# TARVEX_PACKAGE_TEST=1; otherwise it is skipped.
# Usage: release-package.sh SOURCE_DIR   (exit 77: not asked for)
set -euo pipefail
source=$1
if [ "${TARVEX_PACKAGE_TEST:-}" != 1 ]; then
    echo "SKIP: set TARVEX_PACKAGE_TEST=1 to build and check the release package (minutes)"
    exit 77
fi
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
TARVEX_PACKAGE_BUILD=$build bash "$source/scripts/package.sh" --check

#!/usr/bin/env bash
# Runs lintian on the Debian package: an error fails, warnings are listed.
# Usage: check-lintian.sh PACKAGE   (exit 77: lintian or the package missing)
set -euo pipefail
package=$1
if ! command -v lintian >/dev/null; then
    echo "SKIP: lintian is not installed"
    exit 77
fi
if [ ! -f "$package" ]; then
    echo "SKIP: no package at $package"
    exit 77
fi
lintian --fail-on error "$package"

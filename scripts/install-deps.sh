#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running Tarvex need.
# Asks dpkg first, so that a machine that already has everything is not touched
# and the call returns at once.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev libsqlite3-dev liblnk-dev sqlite3 mdbtools-dev libmdb3
    libgtest-dev libgmock-dev googletest
    poppler-utils fonts-liberation
    desktop-file-utils appstream man-db
    shared-mime-info libglib2.0-bin
)
# The fuzz targets and the benchmark are built with these when present;
# mdbtools gives the benchmark's salon-host row its floor (mdb-export).
optional=(clang libclang-rt-14-dev mdbtools)
# scripts/package.sh --check checks the package with this.
packaging=(lintian)

missing=()
for p in "${packages[@]}" ${TARVEX_WITH_OPTIONAL:+"${optional[@]}"} ${TARVEX_WITH_PACKAGING:+"${packaging[@]}"}; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

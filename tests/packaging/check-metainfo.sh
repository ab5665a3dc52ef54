#!/usr/bin/env bash
# Checks the AppStream metadata with appstreamcli (without looking anything up
# on the network), and that its newest release is the version being built.
# Usage: check-metainfo.sh METAINFO_FILE VERSION   (exit 77: appstreamcli missing)
set -euo pipefail
metainfo=$1
version=$2
if ! command -v appstreamcli >/dev/null; then
    echo "SKIP: appstreamcli is not installed (package appstream)"
    exit 77
fi
appstreamcli validate --no-net "$metainfo"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
if [ "$newest" != "$version" ]; then
    echo "$metainfo: the newest release is '$newest', the project's version is $version"
    exit 1
fi

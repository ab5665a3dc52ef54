#!/usr/bin/env bash
# Renders each manual page with man's warnings on, as a user's man would at
# 80 columns: any warning from groff, or an empty page, fails.
# Usage: check-manual-pages.sh PAGE...   (exit 77: man missing)
set -euo pipefail
if ! command -v man >/dev/null; then
    echo "SKIP: man is not installed (package man-db)"
    exit 77
fi
failed=0
for page in "$@"; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$page:"
        echo "$warnings"
        failed=1
    fi
    if [ "$(MANWIDTH=80 man -l "$page" 2>/dev/null | wc -l)" -lt 10 ]; then
        echo "$page: renders to almost nothing"
        failed=1
    fi
done
exit $failed

#!/usr/bin/env bash
# Checks the desktop entry with desktop-file-validate, and that it offers to
# open the MIME type that the system's shared-mime-info gives *.mdb files, so
# that "Open with Tarvex" is offered on a vendor's invupdate.mdb.
# Usage: check-desktop-entry.sh DESKTOP_FILE   (exit 77: validator missing)
set -euo pipefail
entry=$1
if ! command -v desktop-file-validate >/dev/null; then
    echo "SKIP: desktop-file-validate is not installed (package desktop-file-utils)"
    exit 77
fi
desktop-file-validate "$entry"

mime=/usr/share/mime/packages/freedesktop.org.xml
if [ -f "$mime" ]; then
    # The type whose globs include *.mdb.
    mdb_type=$(awk '/<mime-type type="/ { split($0, a, "\""); type = a[2] }
                    /<glob pattern="\*\.mdb"/ { print type; exit }' "$mime")
    [ -n "$mdb_type" ] || { echo "shared-mime-info gives *.mdb no type"; exit 1; }
    if ! grep -q "^MimeType=\(.*;\)\?$mdb_type;" "$entry"; then
        echo "$entry: MimeType does not name $mdb_type, the type of *.mdb files"
        exit 1
    fi
fi

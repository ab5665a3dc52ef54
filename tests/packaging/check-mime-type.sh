#!/usr/bin/env bash
# Checks in the Debian package unpacked under ROOT (by run-unpacked.sh) that
# a file manager using GIO offers Tarvex for a vendor's .accdb price list:
# with the package's type database built (update-mime-database) and its
# desktop entry indexed (update-desktop-database), as Debian's triggers do on
# install, an .accdb file, by its name and by its content alone, has a type
# the desktop entry lists, and GIO names Tarvex among the programs for it.
# Usage: check-mime-type.sh ROOT SOURCE_DIR   (exit 77: a tool is missing)
set -euo pipefail
root=$1
source=$2
missing=$(for tool in update-mime-database update-desktop-database gio; do command -v "$tool" >/dev/null || echo "$tool"; done)
if [ -n "$missing" ]; then
    echo "SKIP:" $missing "not installed (packages shared-mime-info, desktop-file-utils, libglib2.0-bin)"
    exit 77
fi

id=org.tarvex.Tarvex
share=$root/usr/share
[ -f "$share/mime/packages/$id.xml" ] || { echo "not in the package: /usr/share/mime/packages/$id.xml"; exit 1; }
update-mime-database "$share/mime" >/dev/null 2>&1
update-desktop-database "$share/applications"
# The package's folders first, the system's after them, nothing of the user's.
export XDG_DATA_DIRS=$share:/usr/share XDG_DATA_HOME=$root/user-data PATH=$root/usr/bin:$PATH

entry=$share/applications/$id.desktop
accdb=$source/tests/data/access/invupdate-2007.accdb
mkdir -p "$root/files"
cp "$accdb" "$root/files/invupdate.accdb"
cp "$accdb" "$root/files/price list from the vendor"
status=0
for file in "$root/files/invupdate.accdb" "$root/files/price list from the vendor"; do
    type=$(gio info -a standard::content-type "$file" | sed -n 's/^ *standard::content-type: //p')
    if ! grep -q "^MimeType=\(.*;\)\?$type;" "$entry"; then
        echo "${file##*/}: type '$type', which the desktop entry does not list"
        status=1
        continue
    fi
    offered=$(gio mime "$type")
    if ! grep -q "$id.desktop" <<<"$offered"; then
        echo "${file##*/}: GIO offers no Tarvex for $type:"
        echo "$offered"
        status=1
        continue
    fi
    echo "${file##*/}: $type, opened with $id.desktop"
done
exit $status

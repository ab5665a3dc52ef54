#!/usr/bin/env bash
# Unpacks the Debian package into a temporary root (dpkg-deb -x), checks that
# it holds every installed file, and runs the programs from there as an
# installed program is used: the unpacked price-list maker and sample host
# maker make a vendor's folder (invupdate.mdb and Merlow.INI) and a host
# database, each in a folder of its own, then tarvex goes through a whole run
# in the terminal on the vendor's folder that selects and applies every row.
# Then, with the location in the user's own settings file instead, --locate
# names that file, and the desktop entry's command line runs on the vendor's
# invupdate.mdb; and an .accdb file has a type the desktop entry opens
# (check-mime-type.sh). HOME and XDG_CONFIG_HOME are folders in the
# temporary root.
# Usage: run-unpacked.sh PACKAGE SOURCE_DIR   (exit 77: no package)
set -euo pipefail
package=$1
source=$2
if [ ! -f "$package" ]; then
    echo "SKIP: no package at $package"
    exit 77
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$package" "$root"

id=org.tarvex.Tarvex
expected=(
    usr/bin/tarvex usr/bin/tarvex-pricelist usr/bin/tarvex-samplehost
    usr/share/applications/$id.desktop
    usr/share/metainfo/$id.metainfo.xml
    usr/share/mime/packages/$id.xml
    usr/share/icons/hicolor/scalable/apps/$id.svg
    usr/share/man/man1/tarvex.1.gz usr/share/man/man1/tarvex-pricelist.1.gz usr/share/man/man1/tarvex-samplehost.1.gz
    usr/share/doc/tarvex/README.md usr/share/doc/tarvex/copyright usr/share/doc/tarvex/changelog.gz
    usr/share/doc/tarvex/docs/file-format.md usr/share/doc/tarvex/docs/reliability.md
    usr/share/doc/tarvex/docs/administration.md usr/share/doc/tarvex/docs/performance.md
)
for size in 16 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
missing=0
for path in "${expected[@]}"; do
    [ -f "$root/$path" ] || { echo "not in the package: /$path"; missing=1; }
done
[ $missing -eq 0 ] || exit 1
version=$(dpkg-deb --field "$package" Version)
logged=$(zcat "$root/usr/share/doc/tarvex/changelog.gz" | head -n 1 | sed 's/^tarvex (\([^)]*\)).*/\1/')
if [ "$logged" != "$version" ]; then
    echo "the change log's last entry is for $logged, the package is $version"
    exit 1
fi

bin=$root/usr/bin
prices=$source/samples/vendor-prices.csv
vendor="$root/Lumen delivery"
mkdir "$root/data" "$vendor" "$root/home"
export HOME=$root/home XDG_CONFIG_HOME=$root/config
host=$root/data/kv.mdb
"$bin/tarvex-pricelist" --vendor "Lumen Professional" -o "$vendor/invupdate.mdb" "$prices" >/dev/null
"$bin/tarvex-samplehost" -o "$host" --products 300 --vendor-prices "$prices" >/dev/null
printf '[Settings]\nDBLocation=%s\n' "$host" >"$vendor/Merlow.INI"
shown=$("$bin/tarvex" --version)
if [ "$shown" != "Tarvex $version" ]; then
    echo "tarvex --version says '$shown', the package is $version"
    exit 1
fi
before=$(md5sum <"$host")

status=0
out=$(printf 'yes\nok\nall\napply\n' | env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tarvex" "$vendor" 2>&1) || status=$?
fail() {
    echo "$out" | tail -n 20
    echo "FAILED: $1"
    exit 1
}
[ $status -eq 0 ] || fail "the run ended with status $status"
grep -q '^\[Notice\] You are running Standard Pricing Update for Vendor:Lumen Professional, Continue?' <<<"$out" ||
    fail "the vendor was not confirmed"
grep -q '\[Tarvex\] Update Complete' <<<"$out" || fail "no Update Complete"
backups=("$host"_Tarvex_*)
[ ${#backups[@]} -eq 1 ] && [ -f "${backups[0]}" ] || fail "not one backup beside the host: ${backups[*]}"
[ "$(md5sum <"${backups[0]}")" = "$before" ] || fail "the backup is not the host as it was"
[ "$(md5sum <"$host")" != "$before" ] || fail "the host database was not changed"
echo "A whole run of the unpacked tarvex on a vendor's folder applied the price list; backup ${backups[0]##*/}"

# The location kept once for the user instead of in the vendor's folder.
rm "$vendor/Merlow.INI"
mkdir -p "$XDG_CONFIG_HOME/tarvex"
printf '[Settings]\nDBLocation=%s\n' "$host" >"$XDG_CONFIG_HOME/tarvex/Merlow.INI"
status=0
out=$("$bin/tarvex" --locate "$vendor" 2>"$root/locate.err") || status=$?
[ $status -eq 0 ] || fail "--locate ended with status $status: $(cat "$root/locate.err")"
[ "$out" = "$host" ] || fail "--locate printed $out"
grep -qF "location from $XDG_CONFIG_HOME/tarvex/Merlow.INI" "$root/locate.err" ||
    fail "--locate did not name the user's settings file: $(cat "$root/locate.err")"

# The desktop entry's command line, with %f the vendor's invupdate.mdb as a
# file manager gives it.
entry=$root/usr/share/applications/$id.desktop
exec_line=$(sed -n '/^\[Desktop Entry\]/,/^\[/ s/^Exec=//p' "$entry")
[ "${exec_line% %f}" = tarvex ] || fail "the desktop entry runs $exec_line"
status=0
out=$(printf 'yes\nok\nexit\n' | env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tarvex" "$vendor/invupdate.mdb" 2>&1) ||
    status=$?
[ $status -eq 0 ] || fail "the run on invupdate.mdb ended with status $status"
grep -q 'Vendor:Lumen Professional, Continue?' <<<"$out" || fail "the price list given as a file was not opened"
grep -q '^Proposed Changes to Products' <<<"$out" || fail "the host database from the user's settings was not opened"
echo "--locate names the user's settings file, and the desktop entry's command line opens a vendor's invupdate.mdb"

# The desktop entry's actions: the history lists the run above (printed, as
# there is no display here), and the undo puts the host back as it was.
history_line=$(sed -n '/^\[Desktop Action history\]/,/^\[/ s/^Exec=//p' "$entry")
undo_line=$(sed -n '/^\[Desktop Action undo-last\]/,/^\[/ s/^Exec=//p' "$entry")
status=0
# shellcheck disable=SC2086 # the action's arguments, split as its Exec line is
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tarvex" ${history_line#tarvex } 2>&1) || status=$?
[ $status -eq 0 ] || fail "the history action ($history_line) ended with status $status"
grep -q "Lumen Professional" <<<"$out" || fail "the history action did not list the run"
status=0
# shellcheck disable=SC2086
out=$(printf 'yes\nok\nall\napply\n' | env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tarvex" ${undo_line#tarvex } 2>&1) ||
    status=$?
[ $status -eq 0 ] || fail "the undo action ($undo_line) ended with status $status"
grep -q '\[Tarvex\] Update Complete' <<<"$out" || fail "the undo action did not complete"
echo "The desktop entry's actions list the runs and undo the last one"

# The file type of an .accdb, with the package's type database built.
status=0
bash "$(dirname "$0")/check-mime-type.sh" "$root" "$source" || status=$?
[ $status -eq 0 ] || [ $status -eq 77 ] || exit 1

#!/usr/bin/env bash
# Unpacks the Debian package into a temporary root (dpkg-deb -x), checks that
# it holds every installed file, and runs the programs from there as a vendor
# ships them today: the unpacked price-list maker and sample host maker make
# invupdate.mdb and Merlow.INI beside the unpacked tarvex and a host database
# in a folder of its own, then tarvex goes through a whole run in the terminal
# that selects and applies every row.
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
    usr/share/icons/hicolor/scalable/apps/$id.svg
    usr/share/man/man1/tarvex.1.gz usr/share/man/man1/tarvex-pricelist.1.gz usr/share/man/man1/tarvex-samplehost.1.gz
    usr/share/doc/tarvex/README.md usr/share/doc/tarvex/copyright usr/share/doc/tarvex/changelog.gz
    usr/share/doc/tarvex/docs/file-format.md usr/share/doc/tarvex/docs/reliability.md
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
mkdir "$root/data"
host=$root/data/kv.mdb
"$bin/tarvex-pricelist" --vendor "Lumen Professional" -o "$bin/invupdate.mdb" "$prices" >/dev/null
"$bin/tarvex-samplehost" -o "$host" --products 300 --vendor-prices "$prices" >/dev/null
printf '[Settings]\nDBLocation=%s\n' "$host" >"$bin/Merlow.INI"
"$bin/tarvex" --version
before=$(md5sum <"$host")

status=0
out=$(printf 'yes\nok\nall\napply\n' | env -u DISPLAY -u WAYLAND_DISPLAY "$bin/tarvex" 2>&1) || status=$?
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
echo "A whole run of the unpacked tarvex applied the price list; backup ${backups[0]##*/}"

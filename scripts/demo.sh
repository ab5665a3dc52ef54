#!/usr/bin/env bash
# Builds Tarvex, lays out a demo program folder (the program, a vendor price
# list, a sample host database and the settings file that points at it) and
# starts the program there. Uses the windows when a display is available and
# the terminal otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target tarvex tarvex-pricelist tarvex-samplehost

demo=${TARVEX_DEMO_DIR:-demo}
mkdir -p "$demo/data"
cp build/tarvex "$demo/tarvex"
rm -f "$demo/invupdate.mdb"
# The three warnings that follow are meant: vendors' lists repeat codes, and
# the sample shows how a repeat is read.
cat >&2 <<'NOTE'
The sample price list repeats three product codes on purpose, as vendors' lists
sometimes do: LP-1002 in a new pack, lp-2020 in small letters (codes match
without regard to case) and LP-1010 as an old pack marked deleted.
tarvex-pricelist warns about each and keeps both rows; the review compares each
row not marked deleted with the salon's product of that code.
NOTE
build/tarvex-pricelist --vendor "Lumen Professional" -o "$demo/invupdate.mdb" samples/vendor-prices.csv
build/tarvex-samplehost --force -o "$demo/data/kv.mdb" --products 300 --vendor-prices samples/vendor-prices.csv
printf '[Settings]\nDBLocation=%s\n' "$(cd "$demo/data" && pwd)/kv.mdb" > "$demo/Merlow.INI"
echo "Demo folder: $(cd "$demo" && pwd)" >&2
exec "$demo/tarvex" "$@"

#!/usr/bin/env bash
# Sends a signal to the built program part-way through a terminal apply, round
# after round, and checks what the next run finds: it exits 0, the host
# database and the backup copy it makes pass PRAGMA integrity_check, every
# product holds all its old or all its new values, and it lists exactly the
# products still old. The delay before each signal is random over the time one
# whole apply takes, measured first. docs/reliability.md quotes its summaries.
#
#   scripts/kill-apply.sh [SIGNAL [ROUNDS [PRODUCTS]]]   # KILL 10 2000 by default
#
# Uses the programs of the build folder (TARVEX_BUILD, build by default) and
# the sqlite3 shell; works in a temporary folder that it removes.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TARVEX_BUILD:-build}
signal=${1:-KILL}
rounds=${2:-10}
products=${3:-2000}
here=$(mktemp -d)
trap 'rm -rf "$here"' EXIT
export DISPLAY='' WAYLAND_DISPLAY='' LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"

# The price list raises every cost to 2.00 + i/100 and every price to 5; the
# host holds cost 1 and price 2 for each product.
mkdir -p "$here/data"
cp "$build/tarvex" "$here/tarvex"
{
    echo "code,name,cost,price"
    for ((i = 0; i < products; i++)); do
        printf 'K%04d,Product %d,%d.%02d,5\n' $i $i $(((200 + i) / 100)) $(((200 + i) % 100))
    done
} >"$here/prices.csv"
"$build/tarvex-pricelist" --vendor Acme -o "$here/invupdate.mdb" "$here/prices.csv" >/dev/null
{
    sed -n '/kHostDatabase = R"sql(/,/)sql"/p' src/data/Schema.h | sed '1d;$d'
    echo "BEGIN;"
    for ((i = 0; i < products; i++)); do
        printf "INSERT INTO product (quickid, Name, cost, retailprice) VALUES ('K%04d', 'Product %d', 1, 2);\n" $i $i
    done
    echo "COMMIT;"
} | sqlite3 "$here/pristine.mdb"
host=$here/data/kv.mdb
printf '[Settings]\nDBLocation=%s\n' "$host" >"$here/Merlow.INI"

# Products holding all their new values, all their old ones, and neither.
counts() {
    sqlite3 -separator ' ' "$host" "ATTACH '$here/invupdate.mdb' AS v;
        SELECT sum(h.cost = p.cost AND h.retailprice = p.retailprice), sum(h.cost = 1 AND h.retailprice = 2),
               sum(NOT ((h.cost = p.cost AND h.retailprice = p.retailprice) OR (h.cost = 1 AND h.retailprice = 2)))
        FROM product h JOIN v.product p ON h.quickid = p.quickid"
}

# Starts a run that selects every row, and returns once the table is shown;
# "apply" then goes to the program through file descriptor 3.
start() {
    rm -f "$here"/data/* "$here/fifo"
    cp "$here/pristine.mdb" "$host"
    mkfifo "$here/fifo"
    (cd "$here" && exec ./tarvex --console <"$here/fifo" >"$here/first.out" 2>&1) &
    pid=$!
    exec 3>"$here/fifo"
    printf 'yes\nok\nall\n' >&3
    until grep -q "$products of $products selected" "$here/first.out"; do
        kill -0 $pid 2>/dev/null || { echo "the run ended before its table:" >&2; tail -3 "$here/first.out" >&2; exit 1; }
        sleep 0.01
    done
}

start
began=$(date +%s%N)
printf 'apply\n' >&3
exec 3>&-
wait $pid
span=$((($(date +%s%N) - began) / 1000000))
read -r new old mixed < <(counts)
echo "one whole apply of $products products: $span ms; $new new, $old old, $mixed mixed"

RANDOM=20261208
sent=0 partway=0 journals=0 rolledback=0 reported=0 sound=0 whole=0 exact=0
for ((round = 1; round <= rounds; round++)); do
    start
    printf 'apply\n' >&3
    exec 3>&-
    delay=$((RANDOM * span / 32767))
    sleep "$((delay / 1000)).$(printf '%03d' $((delay % 1000)))"
    kill -s "$signal" $pid 2>/dev/null || true
    status=0
    wait $pid || status=$?
    sent=$((sent + 1))
    journal=no
    [ -e "$host-journal" ] && journal=yes && journals=$((journals + 1))
    [ "$status" = 1 ] && reported=$((reported + 1))

    # The next run, to the list: it rolls back a hot journal before the backup.
    next=0
    printf 'yes\nok\nexit\n' | (cd "$here" && ./tarvex --console) >"$here/next.out" 2>&1 || next=$?
    grep -q "An interrupted write to the database was rolled back" "$here/next.out" && rolledback=$((rolledback + 1))
    backup=$(find "$here/data" -name 'kv.mdb_Tarvex_*' | head -1)
    checked="no backup"
    [ -n "$backup" ] && checked="$(sqlite3 "$backup" "PRAGMA integrity_check") $(sqlite3 "$host" "PRAGMA integrity_check")"
    read -r new old mixed < <(counts)
    awk -F'|' '/^[0-9]+ +[|] \[/ { gsub(/ /, "", $3); print $3 }' "$here/next.out" | sort >"$here/listed"
    sqlite3 "$host" "SELECT quickid FROM product WHERE cost = 1 AND retailprice = 2 ORDER BY quickid" >"$here/old"
    listing=differs
    cmp -s "$here/listed" "$here/old" && listing=exact && exact=$((exact + 1))
    [ "$next" = 0 ] && [ "$checked" = "ok ok" ] && sound=$((sound + 1))
    [ "$mixed" = 0 ] && whole=$((whole + 1))
    [ "$new" -gt 0 ] && [ "$new" -lt "$products" ] && partway=$((partway + 1))
    echo "round $round: after ${delay} ms status $status, $new new, $old old, $mixed mixed, journal $journal;" \
        "next run status $next, integrity $checked, listing $listing"
done
echo "SIG$signal: sent $sent, part-way $partway, with status 1 $reported, journals left $journals," \
    "rolled back by the next run $rolledback, next run sound $sound, products whole $whole, listing exact $exact"

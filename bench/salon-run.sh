#!/usr/bin/env bash
# A whole terminal run (check, backup copy, list, apply of every listed row)
# of a built tarvex on a copy of a salon-sized Access host, measured from
# outside: peak memory (/usr/bin/time -v), bytes read and written per file of
# the host's folder (strace -y), time; beside the floor (cp + sync of the
# host; mdb-export of its product table).
#   bash bench/salon-run.sh BUILT_TARVEX HOST.mdb PRICELIST.mdb [WORK_DIR]
set -euo pipefail
tarvex=$(realpath "$1") host=$(realpath "$2") list=$(realpath "$3")
work=${4:-$(mktemp -d /tmp/tarvex-salon-run.XXXXXX)}
size=$(stat -c %s "$host")

lay_out() {
    rm -rf "$work" && mkdir -p "$work/data"
    cp "$tarvex" "$work/tarvex"
    cp "$list" "$work/invupdate.mdb" && chmod u+w "$work/invupdate.mdb"
    cp "$host" "$work/data/kv.mdb" && chmod u+w "$work/data/kv.mdb"
    # As a host the salon application closed before the run.
    touch -d '2 hours ago' "$work/data/kv.mdb"
    printf '[Settings]\nDBLocation=%s/data/kv.mdb\n' "$work" >"$work/Merlow.INI"
    sync
}
run() {
    (cd "$work" && printf 'yes\nok\nall\napply\nexit\n' |
        env DISPLAY= WAYLAND_DISPLAY= XDG_CONFIG_HOME="$work/config" "$@" ./tarvex --console >/dev/null)
}

echo "host: $host ($size bytes); load: $(uptime | sed 's/.*load average: //')"
lay_out
/usr/bin/time -f '%e %M' -o "$work.time" bash -c "$(declare -f run); work=$work; run"
read -r seconds peak <"$work.time"
echo "whole run: ${seconds} s, peak memory ${peak} kB"

lay_out
run strace -f -qq -y -o "$work.strace" -e trace=read,pread64,write,pwrite64,copy_file_range
# Bytes each call returned, summed per file of the host's folder.
perl -ne '
    BEGIN { $dir = shift @ARGV }
    next unless /^\d+ +(read|pread64|write|pwrite64|copy_file_range)\(\d+<([^>]*)>(?:, *\S+, *\d+<([^>]*)>)?.*= (\d+)$/;
    my ($call, $from, $to, $n) = ($1, $2, $3, $4);
    if ($call eq "copy_file_range") {
        $sum{"copy_file_range from " . substr($from, length $dir)} += $n if index($from, $dir) == 0;
        $sum{"copy_file_range to " . substr($to, length $dir)} += $n if defined $to && index($to, $dir) == 0;
    } elsif (index($from, $dir) == 0) { $sum{"$call " . substr($from, length $dir)} += $n }
    END { printf "  %-45s %14d B\n", $_, $sum{$_} for sort keys %sum }' "$work/data/" "$work.strace"

lay_out
start=$(date +%s.%N)
cp "$work/data/kv.mdb" "$work/data/floor-copy" && sync "$work/data/floor-copy"
echo "floor: cp + sync: $(echo "$(date +%s.%N) - $start" | bc) s"
/usr/bin/time -f '%e %M' -o "$work.time" mdb-export "$work/data/kv.mdb" product >/dev/null
read -r seconds peak <"$work.time"
echo "floor: mdb-export product: ${seconds} s, peak memory ${peak} kB"
rm -rf "$work" "$work.time" "$work.strace"

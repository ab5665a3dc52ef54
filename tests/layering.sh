#!/usr/bin/env bash
# The include rules between the folders of src/, checked over the sources so
# that the layering cannot drift unnoticed. Each folder is a layer:
#
#   platform <- data <- startup, review <- app
#
# A file includes only its own layer and the layers to its left; startup and
# review never include each other. A qt/ subfolder belongs to its parent's
# layer, and only qt/ subfolders and app/ include Qt (tarvex_core has no Qt).
# Every source file sits in one of these folders.
#
# With "engines", the rule for the database engines' own headers: sqlite3.h
# only in platform/sqlite (and in data/history, the run record, an SQLite file
# of its own), mdbtools.h only in platform/access.
#
# With "rooms", the rule inside platform: it is the door (Database,
# Recordset, Result at its root), the two engine rooms (access, sqlite), the
# contract they implement (db), and the service rooms (os, text, desktop,
# prompt). Neither engine room includes the other, and the layers above
# platform include only the door and the service rooms, never an engine room
# or db; the few includes still left across that line are listed below.
# Nor do they ask a file's kind of the engines' signature reader (databaseKind,
# DatabaseKind): the door tells it (Database::fileKind, Database::kind).
#
# Usage: layering.sh PROJECT_DIR folders|engines|rooms
# Prints each include that breaks the rule, with its file and line, and fails
# when there is one.
set -euo pipefail

if [[ $# -ne 2 || ! "$2" =~ ^(folders|engines|rooms)$ ]]; then
    echo "usage: layering.sh PROJECT_DIR folders|engines|rooms" >&2
    exit 2
fi
src="$1/src"
rule="$2"

# The layers a layer may include.
allowed_layers() {
    case "$1" in
    platform) echo "platform" ;;
    data) echo "platform data" ;;
    startup) echo "platform data startup" ;;
    review) echo "platform data review" ;;
    app) echo "platform data startup review app" ;;
    *) return 1 ;;
    esac
}

# Includes still allowed across the rules, as "file included" (file may be a
# pattern), each with the reason it is left.
exceptions=(
    # The run record is an SQLite file of its own, reached through the SQLite
    # room's statement wrapper.
    "data/history/* platform/sqlite/SqliteStatement.h"
)
excepted() {
    local entry
    for entry in "${exceptions[@]}"; do
        # shellcheck disable=SC2053
        [[ "$1" == ${entry%% *} && "$2" == "${entry#* }" ]] && return 0
    done
    return 1
}

# The room of a file under src/: platform/<room> for the rooms, platform for
# the door at its root, else the layer.
room_of() {
    case "$1" in
    platform/*/*) local rest="${1#platform/}" && echo "platform/${rest%%/*}" ;;
    *) echo "${1%%/*}" ;;
    esac
}

found=0
report() {
    echo "$1"
    found=1
}

while IFS= read -r file; do
    path="${file#"$src"/}"
    layer="${path%%/*}"
    if [[ "$rule" == folders ]] && ! allowed_layers "$layer" >/dev/null; then
        report "src/$path: not in a layer folder (platform, data, startup, review, app)"
        continue
    fi
    # Lines of the form  N:#include "x/y.h"  or  N:#include <y>.
    while IFS= read -r line; do
        number="${line%%:*}"
        target=$(sed -E 's/^[^#]*#[[:space:]]*include[[:space:]]*[<"]([^>"]*)[>"].*/\1/' <<<"${line#*:}")
        where="src/$path:$number: includes $target"
        if [[ "$rule" == engines ]]; then
            if excepted "$path" "$target"; then
                continue
            fi
            if [[ "$target" == sqlite3.h && "$path" != platform/sqlite/* && "$path" != data/history/* ]]; then
                report "$where; only platform/sqlite (and data/history) may include SQLite's header"
            elif [[ "$target" == mdbtools.h && "$path" != platform/access/* ]]; then
                report "$where; only platform/access may include libmdb's header"
            fi
            continue
        fi
        if [[ "$rule" == rooms ]]; then
            if [[ "${line#*:}" == *'<'* || "$target" != platform/*/* ]] || excepted "$path" "$target"; then
                continue
            fi
            from=$(room_of "$path")
            to=$(room_of "$target")
            if [[ "$from" == platform/access && "$to" == platform/sqlite ||
                "$from" == platform/sqlite && "$to" == platform/access ]]; then
                report "$where; the Access and SQLite engines never include each other"
            elif [[ "$layer" != platform && "$to" =~ ^platform/(access|sqlite|db)$ ]]; then
                report "$where; above platform only the door and os, text, desktop, prompt may be included"
            fi
            continue
        fi
        if [[ "${line#*:}" == *'<'* ]]; then
            if [[ "$target" == Q* && "$layer" != app && "$path" != */qt/* ]]; then
                report "$where; only qt/ subfolders and app/ may use Qt"
            fi
        elif [[ "$target" == */* ]]; then
            # A path without a folder is in the file's own folder, or generated.
            included="${target%%/*}"
            if ! [[ " $(allowed_layers "$layer") " == *" $included "* ]]; then
                report "$where; $layer may include only: $(allowed_layers "$layer")"
            fi
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' "$file" || true)
    if [[ "$rule" == rooms && "$layer" != platform ]]; then
        while IFS= read -r line; do
            report "src/$path:${line%%:*}: asks a file's kind below the door; use Database::fileKind"
        done < <(grep -nwE 'databaseKind|DatabaseKind' "$file" || true)
    fi
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

exit "$found"

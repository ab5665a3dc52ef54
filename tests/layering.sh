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
# With "engines", the other rule: only src/platform talks to a database
# engine, so no file elsewhere includes sqlite3.h or mdbtools.h; the run
# record in src/data/history is the one exception, an SQLite file of its own.
#
# Usage: layering.sh PROJECT_DIR folders|engines
# Prints each include that breaks the rule, with its file and line, and fails
# when there is one.
set -euo pipefail

if [[ $# -ne 2 || ! "$2" =~ ^(folders|engines)$ ]]; then
    echo "usage: layering.sh PROJECT_DIR folders|engines" >&2
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
            if [[ "$layer" != platform && "$path" != data/history/* && "$(basename "$target")" =~ ^(sqlite3|mdbtools)\.h$ ]]; then
                report "$where; only src/platform may include a database engine's header"
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
done < <(find "$src" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

exit "$found"

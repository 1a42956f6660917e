#!/usr/bin/env bash
# Lists every #include between folders of src/ that breaks the layering: a folder
# includes only folders below it, and folders on one level never include each other
# in a circle. Exits 1 when it finds any.
set -euo pipefail
cd "$(dirname "$0")/../src"

# Level of each folder, top first. Folders on one line share a level.
LAYERS='
hosts/qt hosts/win32 hosts/posix hosts/headless hosts/mqtt
app
panel dialogs script
link
preview
protocol
serial
storage
state
resources platform text
'

declare -A level
n=100
while read -r line; do
    [ -z "$line" ] && continue
    for f in $line; do level[$f]=$n; done
    n=$((n - 1))
done <<<"$LAYERS"

folder_of() {  # src-relative path -> folder key (hosts/x counts as one folder)
    case "$1" in
        hosts/*) echo "$1" | cut -d/ -f1-2 ;;
        *) echo "${1%%/*}" ;;
    esac
}

hits=0
same_level_edges=$(mktemp)
trap 'rm -f "$same_level_edges"' EXIT

while IFS= read -r file; do
    from=$(folder_of "$file")
    if [ -z "${level[$from]:-}" ]; then
        echo "unknown folder: $file (add it to tools/check_layers.sh)"
        hits=$((hits + 1))
        continue
    fi
    while IFS=: read -r lineno target; do
        to=$(folder_of "$target")
        [ "$to" = "$from" ] && continue
        if [ -z "${level[$to]:-}" ]; then
            echo "$file:$lineno: includes unknown folder $target"
            hits=$((hits + 1))
        elif [ "${level[$to]}" -gt "${level[$from]}" ]; then
            echo "$file:$lineno: $from includes $target, which is above it"
            hits=$((hits + 1))
        elif [ "${level[$to]}" -eq "${level[$from]}" ]; then
            echo "$from $to" >>"$same_level_edges"
        fi
    done < <(grep -noE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_0-9]+/[^"]+"' "$file" \
             | sed -E 's/^([0-9]+):.*"([^"]+)".*/\1:\2/')
done < <(find . -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' \) | sed 's#^\./##' | sort)

# A circle between folders of one level: some folder reaches itself.
if [ -s "$same_level_edges" ]; then
    cycles=$(sort -u "$same_level_edges" | awk '
        { edge[$1" "$2] = 1; nodes[$1] = 1; nodes[$2] = 1 }
        END {
            for (k in nodes) for (i in nodes) for (j in nodes)
                if (edge[i" "k] && edge[k" "j]) edge[i" "j] = 1
            for (i in nodes) if (edge[i" "i]) print i
        }')
    for c in $cycles; do
        echo "$c: part of a circle of includes between folders of one level"
        hits=$((hits + 1))
    done
fi

echo "layers: $hits upward or circular includes"
[ "$hits" -eq 0 ]

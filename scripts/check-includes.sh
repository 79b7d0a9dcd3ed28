#!/usr/bin/env bash
# The include table of docs/ARCHITECTURE.md, checked: every #include "…" under src/ and bench/ names
# its header from src/ and stays within what the table lets its folder include. The table is the one
# list: its rows for src/ folders and bench/ are read here, its last column ("may include") giving
# folders (a folder means its own files, not its subfolders, which have rows of their own), single
# headers, or "all of the above". A file may always include its own folder. The plug-in ABI (a
# header of plugins/, such as spi.h) is named bare. Tests are not checked: they include what they test.
# Prints each breach as file:line and exits 1 when there is any.
set -euo pipefail
cd "$(dirname "$0")/.."
table=${INCLUDE_TABLE:-docs/ARCHITECTURE.md}

declare -A may         # folder -> " entry entry … "
declare -a order=()    # the table's folders, top to bottom, for "all of the above"
problems=0
complain() {
    echo "$1" >&2
    problems=$((problems + 1))
}

# An entry is a folder or a header under src/, or one of plugins/ (the plug-in ABI, and spilocal,
# which host and helper share); anything else is a mistake in the table, reported so that the table
# cannot drift from the tree.
known_entry() {
    [ -d "src/$1" ] || [ -f "src/$1" ] || [ -f "plugins/$1" ] || [ -d "plugins/$1" ]
}

while IFS=$'\t' read -r folder column; do
    entries=" "
    if [[ $column == *"all of the above"* ]]; then
        for above in "${order[@]}"; do
            entries+="$above "
        done
    fi
    while [[ $column =~ \`([^\`]*)\` ]]; do
        entry=${BASH_REMATCH[1]}
        column=${column#*"\`$entry\`"}
        if ! known_entry "$entry"; then
            complain "$table: the row of $folder names \`$entry\`, which is no folder or header of src/ (nor a header of plugins/)"
            continue
        fi
        entries+="$entry "
    done
    may[$folder]=$entries
    order+=("$folder")
done < <(awk -F'|' '/^\| `(src|bench)\// {
        folder = $2; gsub(/[ `]/, "", folder); sub(/^src\//, "", folder); sub(/\/$/, "", folder)
        print folder "\t" $(NF - 1)
    }' "$table")
if [ ${#order[@]} -eq 0 ]; then
    echo "check-includes: no rows for src/ in the table of $table" >&2
    exit 1
fi

mapfile -t files < <(git ls-files 'src/*.cpp' 'src/*.h' 'bench/*.cpp' 'bench/*.h')
declare -A seen_folder
while IFS= read -r match; do
    file=${match%%:*}
    rest=${match#*:}
    line=${rest%%:*}
    header=${rest#*\"}
    header=${header%%\"*}
    # The folder a file is judged as: its path under src/, or bench.
    folder=${file%/*}
    [[ $folder == bench* ]] && folder=bench || folder=${folder#src/}
    if [ -z "${may[$folder]+set}" ]; then
        [ -n "${seen_folder[$folder]+set}" ] || complain "$file: its folder $folder has no row in the table of $table"
        seen_folder[$folder]=1
        continue
    fi
    if [[ $header != */* ]]; then
        if [ -f "src/$folder/$header" ]; then
            complain "$file:$line: \"$header\": name it from src/ (\"$folder/$header\")"
            continue
        fi
        # The plug-in ABI, bare as plugins/ is its include root.
        [[ ${may[$folder]} == *" $header "* ]] && continue
        complain "$file:$line: \"$header\" is no header of src/ that $folder may include"
        continue
    fi
    target=${header%/*}
    [ "$target" = "$folder" ] && continue
    [[ ${may[$folder]} == *" $target "* || ${may[$folder]} == *" $header "* ]] && continue
    if [ ! -f "src/$header" ]; then
        complain "$file:$line: \"$header\" is no header of src/"
        continue
    fi
    allowed=${may[$folder]# }
    allowed=${allowed% }
    complain "$file:$line: \"$header\": $folder may include only its own folder and ${allowed// /, } ($table)"
done < <(grep -Hn '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "${files[@]}")

if [ "$problems" -gt 0 ]; then
    echo "check-includes: $problems breach(es) of the include table; change the include or, if the layering really changes, the table" >&2
    exit 1
fi
echo "check-includes: ${#files[@]} files keep to the include table"

#!/usr/bin/env bash
# Checks the structure drawn from the includes: each folder of the core includes only from
# the folders before it in the order below (and from itself); Qt is included only in gui/;
# the operating system's headers only in system/ (and in the front ends' entry points).
set -euo pipefail
cd "$(dirname "$0")/.."
order=(base system tables report identity settings dbase paradox data journal walk batches operations console
       hints demo cli gui)
status=0
rank() {
    local i
    for i in "${!order[@]}"; do [[ ${order[$i]} == "$1" ]] && { echo "$i"; return; }; done
    echo -1
}
for folder in "${order[@]}"; do
    [[ -d $folder ]] || continue
    mine=$(rank "$folder")
    while IFS=: read -r file line text; do
        target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$text")
        theirs=$(rank "$target")
        if ((theirs < 0)); then continue; fi
        if ((theirs > mine)); then
            echo "$file:$line: $folder includes $target, a folder above it: $text"
            status=1
        fi
    done < <(grep -n '#include "' "$folder"/*.h "$folder"/*.cpp 2>/dev/null | grep -v '#include "'"$folder"'/' || true)
    if [[ $folder != gui ]]; then
        if grep -n -E '#include <Q[A-Za-z]+>' "$folder"/*.h "$folder"/*.cpp 2>/dev/null; then
            echo "Qt outside gui/ (above)"
            status=1
        fi
    fi
    if [[ $folder != system && $folder != gui && $folder != cli ]]; then
        if grep -n -E '#include <(windows\.h|unistd\.h|fcntl\.h|sys/[a-z]+\.h|io\.h|process\.h)>' \
            "$folder"/*.h "$folder"/*.cpp 2>/dev/null; then
            echo "The operating system reached outside system/ (above)"
            status=1
        fi
    fi
done
((status == 0)) && echo "Layers: every include goes down; Qt only in gui/; the system only in system/."
exit $status

#!/usr/bin/env bash
# Checks that a clone stands alone: no tracked file outside the notes (*.md) and docs/ names
# a folder beside the repository, every real table in tests/corpus is byte for byte the
# file its provenance (tests/corpus/SOURCES.json) describes, and so is the SQLite source in
# third_party/sqlite.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    # The pattern is spelt so that this script does not match itself.
    outside=$(git grep -n -I -e '\.\./shared' -- . ':!*.md' ':!docs' || true)
    if [[ -n $outside ]]; then
        echo "Tracked files refer to a folder outside the repository; keep what they need inside it:"
        echo "$outside"
        status=1
    fi
else
    echo "(not a git checkout: the check for references outside the repository is skipped)"
fi

# SOURCES.json holds one "file", "size" and "sha256" line per corpus file.
checked=0
while IFS=$'\t' read -r file sum; do
    path="tests/corpus/$file"
    if [[ ! -f $path ]]; then
        echo "Test data missing: $path"
        status=1
    elif [[ $(sha256sum "$path" | cut -d' ' -f1) != "$sum" ]]; then
        echo "Test data differs from its provenance (SHA-256): $path"
        status=1
    fi
    checked=$((checked + 1))
done < <(awk -F'"' '/"file":/ {f = $4} /"sha256":/ {print f "\t" $4}' tests/corpus/SOURCES.json)
if ((checked == 0)); then
    echo "tests/corpus/SOURCES.json lists no files"
    status=1
fi

# The SQLite the Windows build compiles is the one its provenance names.
while read -r file sum; do
    if [[ $(sha256sum "third_party/sqlite/$file" 2>/dev/null | cut -d' ' -f1) != "$sum" ]]; then
        echo "third_party/sqlite/$file differs from third_party/sqlite/PROVENANCE.md (SHA-256)"
        status=1
    fi
done < <(sed -n 's/^| `\(sqlite3\.[ch]\)` | `\([0-9a-f]\{64\}\)` |$/\1 \2/p' third_party/sqlite/PROVENANCE.md)
((status == 0)) && echo "Tree: self-contained; $checked corpus files match their provenance."
exit $status

#!/bin/sh
# Formats every C++ file git tracks with the tree's .clang-format. With
# --check it changes nothing and fails, naming the files, when any differs.
set -e
cd "$(dirname "$0")/.."
# The library files and the expected outputs are compared byte for byte.
files=$(git ls-files '*.cpp' '*.h' ':!:resources/*' ':!:tests/data/*' ':!:tests/cases/*')
if [ "$1" = "--check" ]; then
    bad=""
    for f in $files; do
        clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad="$bad $f"
    done
    if [ -n "$bad" ]; then
        echo "Not formatted (run sh scripts/format.sh):$bad" >&2
        exit 1
    fi
    echo "Format check: every C++ file follows .clang-format"
else
    echo "$files" | xargs clang-format -i
fi

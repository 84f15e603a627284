#!/usr/bin/env bash
# Fails, naming the files, when a C++ source is not as clang-format (the repo's .clang-format)
# writes it; `make format` mends them.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'tools/*.cpp')
# shellcheck disable=SC2086 # one file name a word
unformatted=$(clang-format --dry-run $files 2>&1 | { grep -o '^[^:]*:[0-9]*:[0-9]*: warning' || true; } | cut -d: -f1 | sort -u)
if [ -n "$unformatted" ]; then
    echo "not clang-formatted (make format mends them):" >&2
    echo "$unformatted" | sed 's/^/  /' >&2
    exit 1
fi
echo "$(echo "$files" | wc -w) sources clang-formatted"

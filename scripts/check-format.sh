#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it (the
# repository's .clang-format). With file names, checks only those; without,
# every tracked .cpp and .h file.
set -euo pipefail
cd "$(dirname "$0")/.."
if (($#)); then
    files=("$@")
else
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
fi
((${#files[@]})) || exit 0
if ! clang-format --dry-run --Werror "${files[@]}"; then
    echo "Some files are not formatted: run clang-format -i on them." >&2
    exit 1
fi

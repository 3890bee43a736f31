#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ source differs from .clang-format.
# `cmake --build --preset default --target format` rewrites them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' | grep -v '^tests/fuzz/corpus/')
if ! report=$(clang-format --dry-run --Werror "${files[@]}" 2>&1); then
  grep -o '^[^:]*:[0-9]*:[0-9]*: error' <<<"$report" | cut -d: -f1 | sort -u | sed 's/^/not formatted: /'
  exit 1
fi
echo "formatting: ${#files[@]} files as .clang-format says"

#!/bin/sh
# The house style of .clang-format: fails on any C++ file of the project that
# clang-format would change (`make format` applies it). Skipped outside a
# git checkout, where the project's file list is not known.
cd "$(dirname "$0")/.." || exit 1
CLANG_FORMAT=${1:-clang-format}
if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "SKIPPED: not a git checkout; the files to check are those git tracks"
  exit 77
fi
git ls-files -z '*.cpp' '*.h' | xargs -0 "$CLANG_FORMAT" --dry-run -Werror

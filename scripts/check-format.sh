#!/usr/bin/env bash
# Checks that every tracked C and C++ file is laid out as .clang-format says
# (clang-format 14, the version of Debian 12). Prints each difference and
# exits 1 when there is one, 0 otherwise.
# Usage: bash scripts/check-format.sh
# To lay the files out instead:
#   git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "clang-format not found: bash scripts/install-deps.sh clang-format" >&2
  exit 1
fi
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${#files[@]}" -eq 0 ]; then
  echo "no C or C++ file is tracked" >&2
  exit 1
fi
if clang-format --dry-run --Werror "${files[@]}"; then
  echo "format: ${#files[@]} files as .clang-format says"
else
  echo "format: files differ from .clang-format (lay them out with:" \
       "git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format -i)" >&2
  exit 1
fi

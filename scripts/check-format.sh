#!/usr/bin/env bash
# Checks that every tracked C++ file is formatted as .clang-format says; lists
# the offending lines and fails otherwise. `make format` fixes them.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed (make deps)" >&2; exit 1; }
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

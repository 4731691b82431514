#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every tracked C++ file is formatted as .clang-format says; lists
# the lines that differ and fails otherwise.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
if ! command -v clang-format >/dev/null; then
    echo "check-format: clang-format is not installed (make deps installs it)" >&2
    exit 1
fi
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
    echo "check-format: the files above are not formatted; make format fixes them" >&2
    exit 1
fi

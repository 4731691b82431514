#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the build as a packager runs it:
#  - a Release configuration with -DBUILD_TESTING=OFF succeeds while every
#    test-only dependency is hidden (GoogleTest, Google Benchmark, QtTest,
#    umockdev and umockdev-wrapper), looks for none of them and has no test or
#    benchmark target;
#  - that Release build (-O3) of the programs has no warning: GCC 12 reports a
#    false -Wrestrict there for a string prepended to a temporary one (its bug
#    105329), which -O2 builds never show.
#
#   scripts/build-check.sh        (BUILD=dir for another build tree; the
#                                  check's own tree is BUILD/build-check)
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
build=$(realpath -m "${BUILD:-build}")/build-check
fail() {
    printf 'build-check: FAILED: %s\n' "$*" >&2
    exit 1
}

# pkg-config sees every module but umockdev's.
pcdir=$(mktemp -d)
trap 'rm -rf "$pcdir"' EXIT
IFS=: read -ra dirs <<<"$(pkg-config --variable pc_path pkg-config)"
for dir in "${dirs[@]}"; do
    for pc in "$dir"/*.pc; do
        [[ -e $pc && $(basename "$pc") != umockdev* ]] && ln -sf "$pc" "$pcdir/"
    done
done

launcher=$(command -v ccache || true)
rm -rf "$build" && mkdir -p "$(dirname "$build")"
PKG_CONFIG_LIBDIR=$pcdir cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DQUARNEL_WERROR=ON -DBUILD_TESTING=OFF \
    -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_Qt6Test=ON \
    ${launcher:+-DCMAKE_CXX_COMPILER_LAUNCHER=$launcher} >"$build.log" 2>&1 ||
    fail "configure with BUILD_TESTING=OFF, see $build.log"

# find_program and pkg_check_modules leave a cache entry even when they find
# nothing, so none may name a test tool.
looked=$(grep -v '^CMAKE_DISABLE_FIND_PACKAGE_' "$build/CMakeCache.txt" |
    grep -iE '^[^#/]*(umockdev|gtest|gmock|benchmark|Qt6Test)[^:]*:' || true)
[[ -z $looked ]] || fail "looked for test-only dependencies: $looked"

targets=$(cmake --build "$build" --target help | sed -n 's/^\([^:]*\): .*/\1/p')
tests=$(grep -E '^(test|unit_|gui_|e2e|quarnel-bench|quarnel-floor)' <<<"$targets" || true)
[[ -z $tests ]] || fail "test targets exist: $(tr '\n' ' ' <<<"$tests")"
[[ $(ctest --test-dir "$build" -N | sed -n 's/^Total Tests: //p') == 0 ]] || fail "ctest lists tests"

cmake --build "$build" >>"$build.log" 2>&1 ||
    fail "a Release build with warnings as errors, see $build.log"
printf 'build-check: OK: BUILD_TESTING=OFF configures without the test tools and has no test target; the Release build has no warning\n'

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the Debian package with lintian (an error fails, warnings are shown),
# then installs it into a clean Debian 12 root the way a user would
# (dpkg -i, then apt-get -f install for its dependencies), runs quarnelctl
# and the Python module there on the simulated board, purges the package and checks that nothing of
# it is left: the root's file list is compared before and after.
#
#   scripts/package-check.sh        (BUILD=dir for another build tree)
#
# Builds the package first if it is out of date (make package). Needs root
# (debootstrap, chroot, a /proc mount) and Debian's package archive (MIRROR,
# default deb.debian.org). The fresh root is made once with debootstrap and
# kept in the build tree (BUILD/package-check/fresh); remove that folder to
# start from a new one.
set -euo pipefail
export LC_ALL=C
cd "$(dirname "$0")/.."
export BUILD=${BUILD:-build}
build=$(realpath -m "$BUILD")
mirror=${MIRROR:-http://deb.debian.org/debian}

step() { printf 'package-check: %s\n' "$*"; }
fail() {
    printf 'package-check: FAILED: %s\n' "$*" >&2
    exit 1
}

make -s package >/dev/null
version=$(sed -n 's/^project(quarnel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb=$build/quarnel-eval_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "$deb was not built"

# lintian runs as the user who started the check; the run under sudo skips it.
if [[ -z ${PACKAGE_CHECK_LINTED:-} ]]; then
    step "lintian $(basename "$deb")"
    lintian --fail-on error --display-info "$deb" || fail "lintian reports errors"
fi
if [[ $(id -u) -ne 0 ]]; then exec sudo BUILD="$BUILD" MIRROR="$mirror" PACKAGE_CHECK_LINTED=1 "$0" "$@"; fi

work=$build/package-check
fresh=$work/fresh
root=$work/root
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive "$@"; }
cleanup() {
    mountpoint -q "$root/proc" && umount "$root/proc"
    rm -rf "$root"
}
trap cleanup EXIT

if [[ ! -x $fresh/bin/sh ]]; then
    step "making a minimal Debian 12 root with debootstrap"
    rm -rf "$fresh" && mkdir -p "$work"
    debootstrap --variant=minbase bookworm "$fresh" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        fail "debootstrap, see $work/debootstrap.log"
    printf 'deb %s bookworm main\ndeb %s bookworm-updates main\ndeb %s-security bookworm-security main\n' \
        "$mirror" "$mirror" "$mirror" >"$fresh/etc/apt/sources.list"
fi
rm -rf "$root"
cp -a "$fresh" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"

# Every path of the root except the kernel's, temporary files, logs, caches
# and the package manager's own records (checked separately).
file_list() {
    (cd "$root" && find . \( -path ./proc -o -path ./sys -o -path ./dev -o -path ./tmp -o -path ./run \
        -o -path ./var/log -o -path ./var/cache -o -path ./var/lib/apt -o -path ./var/lib/dpkg \) -prune \
        -o -print | sort)
}
package_status() { in_root dpkg-query -W -f="\${Status}" quarnel-eval 2>/dev/null || true; }

in_root apt-get update -qq >"$work/apt.log" 2>&1 || fail "apt-get update, see $work/apt.log"
file_list >"$work/before.txt"

step "dpkg -i $(basename "$deb"), then apt-get -f install"
cp "$deb" "$root/tmp/package.deb"
in_root dpkg -i /tmp/package.deb >>"$work/apt.log" 2>&1 || step "dpkg -i left dependencies to apt, as expected"
in_root apt-get -f install -y -qq --no-install-recommends >>"$work/apt.log" 2>&1 ||
    fail "apt-get -f install, see $work/apt.log"
[[ $(package_status) == "install ok installed" ]] || fail "the package is not installed: $(package_status)"
file_list >"$work/installed.txt"
in_root dpkg-query -L quarnel-eval | sed 's|^|.|' | sort >"$work/package-files.txt"

step "quarnelctl --quick info with a private HOME"
mkdir -p "$root/tmp/home"
in_root HOME=/tmp/home quarnelctl --quick --trace /tmp/home/trace.log info >"$work/info.txt" ||
    fail "quarnelctl info: $(cat "$work/info.txt")"
cat "$work/info.txt"
grep -qx 'Device ID: 51h' "$work/info.txt" || fail "quarnelctl info did not find the chip"
head -n 1 "$root/tmp/home/trace.log" | grep -qx 'LoadFirmWare "/usr/share/quarnel-eval/QUARNELFW.Hex" -> 0' ||
    fail "firmware image not loaded from /usr/share/quarnel-eval: $(head -n 1 "$root/tmp/home/trace.log")"
[[ $(in_root quarnel-eval --version) == "quarnel-eval $version" ]] || fail "quarnel-eval --version (its libraries?)"
step "python3 -c 'import quarnel', and the simulated board from it"
in_root HOME=/tmp/home python3 -c 'import quarnel
with quarnel.open(quick=True) as board:
    print(hex(board.read(0x4E)))' >"$work/python.txt" 2>&1 ||
    fail "the Python module: $(cat "$work/python.txt")"
grep -qx '0x41' "$work/python.txt" || fail "the Python module did not find the chip: $(cat "$work/python.txt")"
rm -rf "$root/tmp/home"

step "apt-get purge quarnel-eval"
in_root apt-get purge -y -qq quarnel-eval >>"$work/apt.log" 2>&1 || fail "apt-get purge, see $work/apt.log"
file_list >"$work/after.txt"
# The purge removed only the package's files and created nothing; what is left
# of them is a folder another package owns too.
comm -13 "$work/installed.txt" "$work/after.txt" >"$work/created.txt"
[[ ! -s $work/created.txt ]] || fail "the purge created: $(cat "$work/created.txt")"
comm -23 "$work/installed.txt" "$work/after.txt" | comm -23 - "$work/package-files.txt" >"$work/lost.txt"
[[ ! -s $work/lost.txt ]] || fail "the purge removed files of others: $(cat "$work/lost.txt")"
comm -23 "$work/package-files.txt" "$work/before.txt" | comm -12 - "$work/after.txt" >"$work/left.txt"
while read -r path; do
    if [[ ! -d $root/$path ]] || ! in_root dpkg-query -S "${path#.}" >/dev/null 2>&1; then
        fail "left behind: ${path#.}"
    fi
done <"$work/left.txt"
[[ $(package_status) != *installed* || $(package_status) == *not-installed ]] ||
    fail "dpkg still knows the package: $(package_status)"
leftovers=$(cd "$root" && find . -path ./proc -prune -o -path ./var/log -prune -o -iname '*quarnel*' -print)
[[ -z $leftovers ]] || fail "left behind: $leftovers"

step "apt-get autoremove --purge (the dependencies)"
in_root apt-get autoremove --purge -y -qq >>"$work/apt.log" 2>&1 || fail "apt-get autoremove, see $work/apt.log"
file_list | diff "$work/before.txt" - >"$work/left.txt" ||
    fail "the root differs from the fresh one: $(cat "$work/left.txt")"
step "OK: installed $(wc -l <"$work/package-files.txt") paths, ran, purged; the root is as it was"

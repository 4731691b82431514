#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# systemd-analyze verify on the exporter's unit template, as an instance and
# pointed at the built quarnelctl. Any word from it is a failure.
# Usage: systemd_unit.sh UNIT-TEMPLATE QUARNELCTL
if ! command -v systemd-analyze >/dev/null 2>&1; then
    echo "SKIPPED: systemd-analyze is not installed here, the unit template is not verified"
    exit 77
fi
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
sed "s|/usr/bin/quarnelctl|$2|" "$1" > "$tmp/quarnel-exporter@lab1.service"
# No man pages are installed in a build tree.
out=$(systemd-analyze verify --man=no "$tmp/quarnel-exporter@lab1.service" 2>&1)
status=$?
[ -n "$out" ] && echo "$out"
[ $status -eq 0 ] && [ -z "$out" ]

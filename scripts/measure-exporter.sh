#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The exporter's cost: CPU at rest polling every 100 ms (over a minute), and
# CPU and bytes per scrape. Usage: scripts/measure-exporter.sh [build/bin/quarnelctl]
set -euo pipefail
ctl=${1:-build/bin/quarnelctl}
tmp=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$tmp"' EXIT
HOME=$tmp XDG_STATE_HOME=$tmp XDG_CONFIG_HOME=$tmp "$ctl" --quick --sim-state "$tmp/board.json" \
  serve --listen 127.0.0.1:0 --interval 100 2>"$tmp/err" &
pid=$!
until grep -q serving "$tmp/err"; do sleep 0.1; done
url=$(grep -o 'http://[^ ]*' "$tmp/err")
until curl -s "$url" | grep -q 'quarnel_board_up 1'; do sleep 0.1; done
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks); sleep 60; t1=$(ticks)
echo "at rest: $(( (t1 - t0) * 1000 / hz )) ms CPU in 60 s"
n=${SCRAPES:-2000}
t0=$(ticks); s0=$(date +%s.%N)
for ((i = 0; i < n; i++)); do echo "url = \"$url\""; echo "output = /dev/null"; done \
  | curl -s -H 'Accept-Encoding: gzip' --config -
t1=$(ticks); s1=$(date +%s.%N)
rest=$(awk -v a="$s0" -v b="$s1" 'BEGIN { print b - a }')
echo "$n scrapes in ${rest} s: $(( (t1 - t0) * 1000 / hz )) ms CPU, the polling included"
echo "bytes per scrape: $(curl -s "$url" | wc -c) plain, $(curl -s -H 'Accept-Encoding: gzip' "$url" | wc -c) gzip"

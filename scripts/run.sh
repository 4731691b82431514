#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts the evaluation program on the simulated board; without a display it
# falls back to the command-line monitor.
set -euo pipefail
bin=$1
if [[ -x "$bin/quarnel-eval" && ( -n "${DISPLAY:-}" || -n "${WAYLAND_DISPLAY:-}" ) ]]; then
  exec "$bin/quarnel-eval"
fi
if [[ -x "$bin/quarnel-eval" ]]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty): running 'quarnelctl monitor' instead."
fi
if [[ -x "$bin/quarnelctl" ]]; then
  exec "$bin/quarnelctl" monitor
fi
echo "Built everything; the programs quarnel-eval and quarnelctl are not built yet."

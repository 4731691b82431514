#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes docs/screenshot.png: the main window on the simulated board with the
# graphs, register map and limits windows open and live readings shown.
#
# Usage: scripts/screenshot.sh [OUTPUT.png]   (BUILD=dir picks another build
#                                             tree, as with make; default build/)
#        scripts/screenshot.sh --review [OUTPUT.png]
#   makes docs/logreview.png instead: a log of three runs written by
#   quarnelctl log, named on quarnel-eval's command line, its review window
#   alone with the cursor on the first chart.
#        scripts/screenshot.sh --dark [OUTPUT.png]
#   makes docs/screenshot-dark.png instead: the same windows under qt6ct's
#   "darker" colour scheme, with the fonts Qt picks without a theme so that the
#   clicks below land where they do in the light picture.
#        scripts/screenshot.sh --review --dark [OUTPUT.png]
#   makes docs/logreview-dark.png: the review picture under that scheme.
#
# It runs under Xvfb with a private HOME and board state file. There is no
# window manager, so the main window's placement is written to the settings
# file before the start (twips, 15 to a pixel) and the window fills the
# virtual screen exactly. The tool windows are opened through the menus'
# access keys; the workspace places each new window where it overlaps least,
# which at this size puts all three side by side. The clicks below (register
# map address, Read, Continuous Read, a limits tab) are at fixed positions
# in this layout: DejaVu Sans, Qt's Fusion style, 96 dots per inch.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-build}
case $BUILD in /*) B=$BUILD ;; *) B=$ROOT/$BUILD ;; esac
MODE=main
case ${1:-} in
  --review) MODE=review; shift ;;
  --dark) MODE=dark; shift ;;
esac
[[ $MODE == review && ${1:-} == --dark ]] && { MODE=review-dark; shift; }
case $MODE in
  review) OUT=${1:-$ROOT/docs/logreview.png} ;;
  review-dark) OUT=${1:-$ROOT/docs/logreview-dark.png} ;;
  dark) OUT=${1:-$ROOT/docs/screenshot-dark.png} ;;
  *) OUT=${1:-$ROOT/docs/screenshot.png} ;;
esac
TITLE='QUARNEL Evaluation Software'
WIDTH=1250
HEIGHT=975
# The strip charts show the last minute: wait until the trace crosses it.
SETTLE_SECONDS=${SETTLE_SECONDS:-65}

# A private HOME in $h, with qt6ct's dark scheme when asked for.
make_home() {
  h=$(mktemp -d "${TMPDIR:-/tmp}/quarnel-shot.XXXXXX")
  mkdir -p "$h/.config" "$h/.local/state" "$h/runtime"
  chmod 700 "$h/runtime"
  if [[ $DARK == 1 ]]; then
    mkdir -p "$h/.config/qt6ct"
    printf '[Appearance]\ncolor_scheme_path=/usr/share/qt6ct/colors/darker.conf\ncustom_palette=true\nstyle=Fusion\n[Fonts]\ngeneral="Sans Serif,9,-1,5,50,0,0,0,0,0"\nfixed="Monospace,9,-1,5,50,0,0,0,0,0"\n' \
      >"$h/.config/qt6ct/qt6ct.conf"
    export QT_QPA_PLATFORMTHEME=qt6ct
  fi
}

under_x() {
  local h pid win
  make_home
  printf '[Settings]\nDisplayHelp=False\nMainLeft=0\nMainTop=0\nMainWidth=%d\nMainHeight=%d\n' \
    $((WIDTH * 15)) $((HEIGHT * 15)) >"$h/.config/$TITLE.conf"
  env HOME="$h" XDG_CONFIG_HOME="$h/.config" XDG_STATE_HOME="$h/.local/state" \
    XDG_RUNTIME_DIR="$h/runtime" LANG=C.UTF-8 \
    "$BIN/quarnel-eval" --quick --sim-state "$h/board.json" >/dev/null 2>&1 &
  pid=$!
  win=$(xdotool search --sync --onlyvisible --name "^$TITLE\$" | head -n1)
  sleep 1
  xdotool windowfocus --sync "$win"
  # View > Interrupts, then View > Register Map.
  xdotool key --delay 200 alt+v i
  sleep 1
  xdotool key --delay 200 alt+v r
  sleep 1
  # Register map: address 7 (Internal Temp MSBs), Read, Continuous Read.
  xdotool mousemove 1050 822 click 1 type --delay 50 7
  xdotool mousemove 1159 846 click 1
  xdotool mousemove 1102 872 click 1
  # Limits: the Ain Limits 1-4 page.
  xdotool mousemove 347 562 click 1
  xdotool mousemove 1240 0
  sleep "$SETTLE_SECONDS"
  import -window root -crop "${WIDTH}x${HEIGHT}+0+0" +repage "$OUT.tmp.png"
  kill -TERM "$pid"
  wait "$pid" || true
  rm -rf "$h"
}

# The review window sits in the workspace's top left corner (988 x 668 with
# its frame); the main window's menu and tool bars are above it.
review_under_x() {
  local h pid win state
  make_home
  printf '[Settings]\nDisplayHelp=False\nMainLeft=0\nMainTop=0\nMainWidth=%d\nMainHeight=%d\n' \
    $((WIDTH * 15)) $((HEIGHT * 15)) >"$h/.config/$TITLE.conf"
  state="$h/board.json"
  local -a ctl=(env HOME="$h" XDG_STATE_HOME="$h/.local/state" "$BIN/quarnelctl" --quick
    --sim-state "$state" log "$h/three.csv")
  "${ctl[@]}" --interval 50 --count 240 --channels internal,vdd,ain1,ain2 >/dev/null
  "${ctl[@]}" --interval 50 --count 200 --fahrenheit >/dev/null
  "${ctl[@]}" --interval 100 --count 150 --channels internal,vdd,ain5,ain6,ain7 >/dev/null
  env HOME="$h" XDG_CONFIG_HOME="$h/.config" XDG_STATE_HOME="$h/.local/state" \
    XDG_RUNTIME_DIR="$h/runtime" LANG=C.UTF-8 \
    "$BIN/quarnel-eval" --quick --sim-state "$state" "$h/three.csv" >/dev/null 2>&1 &
  pid=$!
  win=$(xdotool search --sync --onlyvisible --name "^$TITLE\$" | head -n1)
  sleep 2
  xdotool windowfocus --sync "$win"
  # The cursor a third of the way along the first chart.
  xdotool mousemove 260 200
  sleep 1
  import -window root -crop 988x668+0+61 +repage "$OUT.tmp.png"
  kill -TERM "$pid"
  wait "$pid" || true
  rm -rf "$h"
}

if [[ ${1:-} == --under-x ]]; then
  BIN=$2 OUT=$3 DARK=0
  [[ ${4:-} == *dark ]] && DARK=1
  if [[ ${4:-} == review* ]]; then review_under_x; else under_x; fi
  exit
fi

tools=(xvfb-run xdotool import)
[[ $MODE == *dark ]] && tools+=(qt6ct)
for tool in "${tools[@]}"; do
  command -v "$tool" >/dev/null || {
    echo "screenshot: $tool is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
  }
done
make -C "$ROOT" --no-print-directory BUILD="$BUILD" configure
cmake --build "$B" --target quarnel-eval quarnelctl >/dev/null
mkdir -p "$(dirname "$OUT")"
xvfb-run -a -s "-screen 0 ${WIDTH}x${HEIGHT}x24 -dpi 96" \
  bash "${BASH_SOURCE[0]}" --under-x "$B/bin" "$OUT" "$MODE"
# Fewer colours keep the file small; the window has few of them anyway.
convert "$OUT.tmp.png" -strip -colors 256 "PNG8:$OUT"
rm -f "$OUT.tmp.png"
echo "screenshot: $OUT"

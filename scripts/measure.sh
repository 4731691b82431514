#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures the performance figures docs/performance.md quotes, on this machine:
#   1. quarnel-bench: one master-timer tick (back to back, and in place after
#      a 10 ms sleep), one log line, one graphs refresh, reading a log of a
#      million lines back (time and peak memory), and the review window's
#      redraw of that log after a zoom and a pan (median of five repetitions);
#   2. start-up beyond the connection sequence's settling delays;
#   3. quarnel-eval at rest under Xvfb with the graphs window open: CPU share
#      of one core over 20 s, and peak memory;
#   4. the same CPU share beside the floor program quarnel-floor (a bare window
#      doing the same visible work): ROUNDS (7) rounds alternating the two,
#      each ROUND_SECONDS (15) after WARMUP_SECONDS; medians and their ratio.
#
# Usage: scripts/measure.sh            (BUILD=dir picks another build tree, as
#                                      with make; default build/)
#        REST_SECONDS=60 RUNS=5 scripts/measure.sh   (longer or more samples)
#        WARMUP_SECONDS=660 scripts/measure.sh   (at rest once the charts hold
#                                               their full ten minutes)
#        scripts/measure.sh --ratio   (only the side-by-side ratio, item 4)
#
# Start-up method. The connection sequence waits on purpose while the board
# settles: 34 x 50 ms while enumerating, 200 ms per bus-selection attempt, 1 s
# before the chip search and 2 s after monitoring starts, 4.9 s in all on a
# board that answers at once. --quick skips exactly these waits and nothing
# else but for 140 ms it still waits for the chip's first round of
# conversions, so the time from launching quarnel-eval --quick to its main
# window being mapped on the X server (polled every 10 ms with xdotool search
# --onlyvisible), less those 140 ms, is the start-up cost beyond the delays: process start, Qt,
# firmware check, chip search, the graphs window and the first show. As a
# cross-check the same time is taken without --quick and the nominal 4.9 s
# subtracted. Each figure is the median of RUNS (3) launches.
#
# At-rest method. quarnel-eval starts normally (graphs window open, help
# window not shown), runs WARMUP_SECONDS (5) to let start-up finish, then
# the utime+stime ticks in /proc/<pid>/stat are read twice REST_SECONDS (20)
# apart; the share is delta / (CLK_TCK x seconds). The X server's own share over the same time is
# shown too, since it does the drawing the program asks for. Peak memory is
# VmHWM from /proc/<pid>/status at the end; the resident size at both
# readings shows whether memory stays flat.
#
# Every run gets a private HOME, XDG folders and simulated-board state file;
# nothing of the user's is read or written.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${BUILD:-build}
case $BUILD in /*) B=$BUILD ;; *) B=$ROOT/$BUILD ;; esac
BIN=$B/bin
RUNS=${RUNS:-3}
REST_SECONDS=${REST_SECONDS:-20}
WARMUP_SECONDS=${WARMUP_SECONDS:-5}
ROUNDS=${ROUNDS:-7}
ROUND_SECONDS=${ROUND_SECONDS:-15}
TITLE='QUARNEL Evaluation Software'
NOMINAL_DELAYS=4.9
QUICK_WAIT=0.14

# Seconds since the epoch with nanoseconds, as a decimal.
now() { date +%s.%N; }

# A fresh private home; prints its path.
private_home() {
  local h
  h=$(mktemp -d "${TMPDIR:-/tmp}/quarnel-measure.XXXXXX")
  mkdir -p "$h/.config" "$h/.local/state" "$h/.local/share" "$h/.cache" "$h/runtime"
  chmod 700 "$h/runtime"
  # Only the graphs window opens at start-up: the help window stays shut.
  printf '[Settings]\nDisplayHelp=False\n' >"$h/.config/$TITLE.conf"
  echo "$h"
}

# The environment of a run in private home $1, into the array HOME_ENV.
set_home_env() {
  HOME_ENV=(HOME="$1" XDG_CONFIG_HOME="$1/.config" XDG_STATE_HOME="$1/.local/state"
    XDG_DATA_HOME="$1/.local/share" XDG_CACHE_HOME="$1/.cache" XDG_RUNTIME_DIR="$1/runtime")
}

# Arithmetic on decimals (awk, so nothing beyond the base system is needed).
calc() { awk "BEGIN { print $1 }"; }

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# utime + stime of a process, in clock ticks.
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# Waits until the main window is mapped. A loop of our own: xdotool's --sync
# polls only every half second, too coarse for this.
wait_for_window() {
  until xdotool search --onlyvisible --name "^$TITLE\$" >/dev/null 2>&1; do sleep 0.01; done
}

# Seconds from launch to a mapped main window; quarnel-eval is then ended by
# SIGTERM, as a session manager would.
time_to_window() {
  local h pid t0 t1
  h=$(private_home)
  t0=$(now)
  set_home_env "$h"
  env "${HOME_ENV[@]}" "$BIN/quarnel-eval" --sim-state "$h/board.json" "$@" >/dev/null 2>&1 &
  pid=$!
  wait_for_window
  t1=$(now)
  kill -TERM "$pid"
  wait "$pid" || true
  rm -rf "$h"
  calc "$t1 - $t0"
}

# CPU share (% of one core) of one program at rest: launched in a private
# home, given WARMUP_SECONDS once its window $1 is mapped, then measured over
# ROUND_SECONDS. The rest of the arguments are the command; @STATE@ in them
# stands for a simulated-board state file in that home.
rest_share() {
  local title=$1 h pid c0 c1 t0 t1
  shift
  h=$(private_home)
  set_home_env "$h"
  env "${HOME_ENV[@]}" "${@/#@STATE@/$h/board.json}" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --name "^$title\$" >/dev/null 2>&1; do sleep 0.01; done
  sleep "$WARMUP_SECONDS"
  t0=$(now)
  c0=$(cpu_ticks "$pid")
  sleep "$ROUND_SECONDS"
  t1=$(now)
  c1=$(cpu_ticks "$pid")
  kill -TERM "$pid"
  wait "$pid" || true
  rm -rf "$h"
  calc "($c1 - $c0) * 100 / $(getconf CLK_TCK) / ($t1 - $t0)"
}

# quarnel-eval against the floor, alternating, and the ratio of the medians.
ratio_rounds() {
  local i e f evals=() floors=()
  echo "== Beside the floor ($ROUNDS rounds of $ROUND_SECONDS s after $WARMUP_SECONDS s, alternating) =="
  for i in $(seq "$ROUNDS"); do
    e=$(rest_share "$TITLE" "$BIN/quarnel-eval" --sim-state @STATE@)
    f=$(rest_share quarnel-floor "$BIN/quarnel-floor")
    evals+=("$e")
    floors+=("$f")
    printf 'round %d: quarnel-eval %.2f %%, floor %.2f %%\n' "$i" "$e" "$f"
  done
  e=$(printf '%s\n' "${evals[@]}" | median)
  f=$(printf '%s\n' "${floors[@]}" | median)
  printf 'medians: quarnel-eval %.2f %%, floor %.2f %% of one core; ratio %.2f  (goal <= 1.1)\n' \
    "$e" "$f" "$(calc "$e / $f")"
}

# The part that runs inside Xvfb.
under_x() {
  if [[ ${RATIO_ONLY:-} == 1 ]]; then
    ratio_rounds
    return
  fi
  local quick full h pid xpid clk t0 t1 c0 c1 x0 x1 hwm rss0 rss
  echo "== Start-up (median of $RUNS launches) =="
  quick=$(for _ in $(seq "$RUNS"); do time_to_window --quick; done | median)
  full=$(for _ in $(seq "$RUNS"); do time_to_window; done | median)
  printf 'to a mapped main window with --quick:  %.3f s  (minus its %.2f s wait for the first conversions: %.3f s beyond the settling delays; budget < 1 s)\n' \
    "$quick" "$QUICK_WAIT" "$(calc "$quick - $QUICK_WAIT")"
  printf 'to a mapped main window, full start:   %.3f s  (minus the nominal %.1f s of delays: %.3f s)\n' \
    "$full" "$NOMINAL_DELAYS" "$(calc "$full - $NOMINAL_DELAYS")"

  echo "== At rest with the graphs window open ($REST_SECONDS s after $WARMUP_SECONDS s) =="
  h=$(private_home)
  set_home_env "$h"
  env "${HOME_ENV[@]}" "$BIN/quarnel-eval" --sim-state "$h/board.json" >/dev/null 2>&1 &
  pid=$!
  wait_for_window
  sleep "$WARMUP_SECONDS"
  clk=$(getconf CLK_TCK)
  xpid=
  for p in $(pgrep -x Xvfb || true); do  # ours: the one serving $DISPLAY
    tr '\0' ' ' <"/proc/$p/cmdline" | grep -q "^Xvfb $DISPLAY " && xpid=$p
  done
  t0=$(now)
  c0=$(cpu_ticks "$pid")
  rss0=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
  [[ -n $xpid ]] && x0=$(cpu_ticks "$xpid")
  sleep "$REST_SECONDS"
  t1=$(now)
  c1=$(cpu_ticks "$pid")
  [[ -n $xpid ]] && x1=$(cpu_ticks "$xpid")
  hwm=$(awk '/^VmHWM/ { print $2 }' "/proc/$pid/status")
  rss=$(awk '/^VmRSS/ { print $2 }' "/proc/$pid/status")
  kill -TERM "$pid"
  wait "$pid" || true
  rm -rf "$h"
  printf 'quarnel-eval CPU: %.2f %% of one core  (budget < 5 %%)\n' \
    "$(calc "($c1 - $c0) * 100 / $clk / ($t1 - $t0)")"
  [[ -n $xpid ]] && printf 'Xvfb CPU meanwhile: %.2f %% of one core\n' \
    "$(calc "($x1 - $x0) * 100 / $clk / ($t1 - $t0)")"
  printf 'quarnel-eval peak memory (VmHWM): %.1f MiB  (resident: %.1f MiB before, %.1f MiB after)\n' \
    "$(calc "$hwm / 1024")" "$(calc "$rss0 / 1024")" "$(calc "$rss / 1024")"
  ratio_rounds
}

[[ ${1:-} == --ratio ]] && export RATIO_ONLY=1
if [[ ${1:-} == --under-x ]]; then
  under_x
  exit
fi

for tool in xvfb-run xdotool; do
  command -v "$tool" >/dev/null || {
    echo "measure: $tool is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
  }
done

# Build what is missing or stale, in the tree make uses.
make -C "$ROOT" --no-print-directory BUILD="$BUILD" configure
cmake --build "$B" --target quarnel-eval quarnel-bench quarnel-floor >/dev/null

echo "== Machine =="
echo "$(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'), load average $(cut -d' ' -f1-3 /proc/loadavg)"
if [[ ${RATIO_ONLY:-} != 1 ]]; then
echo "== quarnel-bench (median of 5 repetitions) =="
h=$(private_home)
set_home_env "$h"
env "${HOME_ENV[@]}" QT_QPA_PLATFORM=offscreen "$BIN/quarnel-bench" \
  --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
  awk '/_median/ || /^Benchmark/ || /^---/'
rm -rf "$h"
echo "budgets: BM_Tick and BM_TickInPlace < 50 us, BM_BuildLogLine < 20 us, BM_GraphsRefresh < 2 ms (CPU column);"
echo "  BM_ReadLogMillionLines <= 1.5 s and peak_growth_MB <= 60, BM_Review* <= 50 ms (Time column)"
fi

xvfb-run -a -s "-screen 0 1280x1024x24" bash "${BASH_SOURCE[0]}" --under-x
echo "load average afterwards $(cut -d' ' -f1-3 /proc/loadavg)"

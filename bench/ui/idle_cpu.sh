#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CPU use of the desktop program while it sits connected to the emulator and idle.
#
#   bench/ui/idle_cpu.sh [BUILD_DIR] [SECONDS]      (defaults: build, 60)
#
# Starts kavri-sim as COM1 (line-rate pacing, 4 thermometers) and the program with Connect
# pressed at start (bench_ui_connected_program: kavri-control's own code), both under a
# throw-away XDG_CONFIG_HOME and XDG_DATA_HOME, on Xvfb when xvfb-run is present and offscreen
# otherwise. Once the refresh is running it reads utime+stime of both processes from
# /proc/PID/stat before and after the window and prints them as % of one core. The bytes the
# emulator read in the window (/proc/PID/io) show that the program really was refreshing.
# KAVRI_SIM_TRACE=FILE keeps the emulator's byte trace (which costs the emulator some CPU).
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
program="$build/bench/ui/bench_ui_connected_program"
sim="$build/sim/kavri-sim"
for f in "$program" "$sim"; do
  [ -x "$f" ] || { echo "missing $f: configure with -DKAVRI_BUILD_BENCH=ON and build" >&2; exit 2; }
done

work=$(mktemp -d)
sim_pid=""
runner_pid=""
cleanup() {
  if [ -f "$work/program.pid" ]; then kill "$(cat "$work/program.pid")" 2>/dev/null || true; fi
  if [ -n "$runner_pid" ]; then wait "$runner_pid" 2>/dev/null || true; fi
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  exec 3<&- 2>/dev/null || true
  [ -z "${KAVRI_SIM_TRACE:-}" ] || cp "$work/sim.err" "$KAVRI_SIM_TRACE"
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

mkfifo "$work/sim.out"
"$sim" --com 1 --thermometers 4 ${KAVRI_SIM_TRACE:+--trace} >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 3<"$work/sim.out"
if ! read -r -t 15 _ <&3; then
  echo "the emulator did not start:" >&2
  cat "$work/sim.err" >&2
  exit 1
fi

# The inner shell records the program's own process id before it becomes the program.
# shellcheck disable=SC2016 # expanded by that inner shell
launch=(sh -c 'echo $$ >"$0"; exec "$1"' "$work/program.pid" "$program")
if command -v xvfb-run >/dev/null; then
  display="Xvfb"
  xvfb-run -a "${launch[@]}" >"$work/program.log" 2>&1 &
else
  display="offscreen"
  QT_QPA_PLATFORM=offscreen "${launch[@]}" >"$work/program.log" 2>&1 &
fi
runner_pid=$!

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
read_bytes() { awk '/^rchar:/ { print $2 }' "/proc/$1/io"; }

# Connected once the emulator has read a few refresh ticks' worth of bytes (89 per tick).
for _ in $(seq 1 150); do
  if [ -f "$work/program.pid" ] && [ "$(read_bytes "$sim_pid")" -gt 500 ]; then break; fi
  sleep 0.1
done
program_pid=$(cat "$work/program.pid" 2>/dev/null || true)
if [ -z "$program_pid" ] || [ "$(read_bytes "$sim_pid")" -le 500 ]; then
  echo "the program did not connect to the emulator:" >&2
  cat "$work/program.log" >&2
  exit 1
fi

hz=$(getconf CLK_TCK)
p0=$(cpu_ticks "$program_pid"); s0=$(cpu_ticks "$sim_pid"); b0=$(read_bytes "$sim_pid")
t0=$(date +%s.%N)
sleep "$seconds"
p1=$(cpu_ticks "$program_pid"); s1=$(cpu_ticks "$sim_pid"); b1=$(read_bytes "$sim_pid")
t1=$(date +%s.%N)

awk -v p="$((p1 - p0))" -v s="$((s1 - s0))" -v b="$((b1 - b0))" -v hz="$hz" \
    -v t0="$t0" -v t1="$t1" -v d="$display" 'BEGIN {
  w = t1 - t0
  printf "window:            %.1f s wall, %s display, clock tick 1/%d s\n", w, d, hz
  printf "program CPU:       %.2f s = %.3f %% of one core\n", p / hz, 100 * p / hz / w
  printf "emulator CPU:      %.2f s = %.3f %% of one core\n", s / hz, 100 * s / hz / w
  # Each second a refresh tick sends 89 bytes; every 5 s the temperature log sends 71.
  printf "emulator read:     %d bytes (%d expected for %.0f s of refresh and temperature log)\n", b, w * (89 + 71 / 5), w
}'

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The INDI driver against the emulator at line rate:
#  1. latency of a filter change from indi_setprop to FILTER_SLOT Ok, against the same change
#     made with `kavrictl goto` (which connects, probes and disconnects on every run);
#  2. CPU of indiserver + indi_kavri, connected and idle, as % of one core.
#
#   bench/indi/indi_bench.sh [BUILD_DIR] [IDLE_SECONDS] [CHANGES]   (defaults: build, 60, 6)
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
changes=${3:-6}
driver="$build/indi/indi_kavri"
sim="$build/sim/kavri-sim"
kavrictl="$build/cli/kavrictl"
for f in "$driver" "$sim" "$kavrictl"; do
  [ -x "$f" ] || { echo "missing $f: build the project first" >&2; exit 2; }
done
for tool in indiserver indi_setprop indi_eval; do
  command -v "$tool" >/dev/null || { echo "missing $tool: install indi-bin" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  exec 3<&- 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" HOME="$work"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

mkfifo "$work/sim.out"
"$sim" --com 1 >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
exec 3<"$work/sim.out"
read -r -t 15 _ <&3 || { echo "the emulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
indiserver -v -r 0 -p "$port" -u "$work/socket" "$(realpath "$driver")" >"$work/server.log" 2>&1 &
server=$!
pids+=("$server")
device="Kavri Wheel Focuser"
for _ in $(seq 100); do
  grep -q "listening to port $port" "$work/server.log" && break
  sleep 0.1
done
driver_pid=$(grep -o 'pid=[0-9]*' "$work/server.log" | head -1 | cut -d= -f2)

indi_setprop -p "$port" "$device.DEVICE_PORT.PORT=COM1"
indi_setprop -p "$port" "$device.CONNECTION.CONNECT=On"
indi_eval -p "$port" -t 30 -w "\"$device.CONNECTION._STATE\"==1" >/dev/null

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# Alternating between two neighbouring filters: every change travels one slot.
: >"$work/indi.ms"
for i in $(seq "$changes"); do
  slot=$(( i % 2 + 1 ))
  start=$(now_ms)
  indi_setprop -p "$port" "$device.FILTER_SLOT.FILTER_SLOT_VALUE=$slot"
  indi_eval -p "$port" -t 30 -w \
    "\"$device.FILTER_SLOT.FILTER_SLOT_VALUE\"==$slot && \"$device.FILTER_SLOT._STATE\"==1" >/dev/null
  echo $(( $(now_ms) - start )) >>"$work/indi.ms"
done

# Idle: connected, polled once a second, nothing asked of it.
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
before=$(( $(ticks "$server") + $(ticks "$driver_pid") ))
sleep "$seconds"
after=$(( $(ticks "$server") + $(ticks "$driver_pid") ))
idle=$(awk -v t=$(( after - before )) -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.2f", 100 * t / hz / s}')

# The same changes through kavrictl, with the driver disconnected so the port is free.
indi_setprop -p "$port" "$device.CONNECTION.DISCONNECT=On"
indi_eval -p "$port" -t 30 -w "\"$device.CONNECTION.CONNECT\"==0" >/dev/null
: >"$work/kavrictl.ms"
for i in $(seq "$changes"); do
  index=$(( i % 2 ))
  start=$(now_ms)
  "$kavrictl" --port 1 goto "$index" >/dev/null
  echo $(( $(now_ms) - start )) >>"$work/kavrictl.ms"
done

indi_median=$(median <"$work/indi.ms")
cli_median=$(median <"$work/kavrictl.ms")
echo "filter change, one slot, median of $changes:"
echo "  indi_setprop to FILTER_SLOT Ok: ${indi_median} ms   ($(paste -sd' ' "$work/indi.ms"))"
echo "  kavrictl goto:                  ${cli_median} ms   ($(paste -sd' ' "$work/kavrictl.ms"))"
echo "  target: INDI within 5 % + 50 ms of kavrictl, i.e. at most" \
  "$(awk -v c="$cli_median" 'BEGIN {printf "%.0f", c * 1.05 + 50}') ms"
echo "CPU of indiserver + indi_kavri, connected and idle for ${seconds} s: ${idle} % of one core"

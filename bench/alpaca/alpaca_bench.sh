#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# kavri-alpaca against the emulator at line rate (a real controller's pace):
#  1. GET position latency, idle and during a move, and a filter change through Alpaca
#     (bench_alpaca_latency);
#  2. CPU of kavri-alpaca connected and idle (it polls the controller once a second);
#  3. the same filter changes with `kavrictl goto` (which connects, probes and disconnects).
#
#   bench/alpaca/alpaca_bench.sh [BUILD_DIR] [IDLE_SECONDS] [CHANGES]   (defaults: build, 60, 6)
# BUILD_DIR needs -DKAVRI_BUILD_BENCH=ON.
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
changes=${3:-6}
alpaca="$build/alpaca/kavri-alpaca"
sim="$build/sim/kavri-sim"
kavrictl="$build/cli/kavrictl"
latency="$build/bench/bench_alpaca_latency"
for f in "$alpaca" "$sim" "$kavrictl" "$latency"; do
  [ -x "$f" ] || { echo "missing $f: configure with -DKAVRI_BUILD_BENCH=ON and build" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  exec 3<&- 4<&- 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" HOME="$work"

mkfifo "$work/sim.out" "$work/alpaca.out"
"$sim" --com 1 >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
exec 3<"$work/sim.out"
read -r -t 15 _ <&3 || { echo "the emulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }
"$alpaca" --port 1 --http-port 0 --no-discovery >"$work/alpaca.out" 2>"$work/alpaca.err" &
alpaca_pid=$!
pids+=("$alpaca_pid")
exec 4<"$work/alpaca.out"
read -r -t 15 first <&4 || { echo "kavri-alpaca did not start" >&2; cat "$work/alpaca.err" >&2; exit 1; }
port=$(grep -o '127\.0\.0\.1:[0-9]*' <<<"$first" | head -1 | cut -d: -f2)

"$latency" "$port" 2000 "$changes"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks "$alpaca_pid")
sleep "$seconds"
after=$(ticks "$alpaca_pid")
echo "CPU of kavri-alpaca, connected and idle for ${seconds} s:" \
  "$(awk -v t=$(( after - before )) -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.2f", 100 * t / hz / s}') % of one core"

python3 - "$port" <<'PY'
import sys, urllib.request
for device in ("focuser", "filterwheel"):
    request = urllib.request.Request(f"http://127.0.0.1:{sys.argv[1]}/api/v1/{device}/0/connected",
                                     data=b"Connected=False", method="PUT")
    urllib.request.urlopen(request, timeout=60).read()
PY
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
: >"$work/kavrictl.ms"
for i in $(seq "$changes"); do
  start=$(now_ms)
  # The Alpaca changes ended on slot 2 (or 1): every change here travels one slot too.
  "$kavrictl" --port 1 goto $(( (i + changes + 1) % 2 + 1 )) >/dev/null
  echo $(( $(now_ms) - start )) >>"$work/kavrictl.ms"
done
median=$(sort -n "$work/kavrictl.ms" | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}')
echo "filter change, one slot, kavrictl goto: median ${median} ms ($(paste -sd' ' "$work/kavrictl.ms"))"

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak memory and time of `kavrictl calibrate` reading one large log, as years of daily logs
# joined into one file would be: the two sample nights of examples/calibrate repeated up to each
# size asked for. Reading streams the log, so the peak should not grow with the file: it grows
# with the focus points found until their cap (the newest 20000), then stays.
#
#   bench/calibrate/large_log_memory.sh [BUILD_DIR] [SIZE_MB...]    (defaults: build, 50 500)
#
# Needs GNU time (Debian package `time`) and about the largest size free in the temporary folder.
set -euo pipefail
build=${1:-build}
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(50 500)
kavrictl="$build/cli/kavrictl"
[ -x "$kavrictl" ] || { echo "missing $kavrictl: build first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "missing /usr/bin/time: apt-get install time" >&2; exit 2; }
examples=$(cd "$(dirname "$0")/../../examples/calibrate" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
cat "$examples"/term_log_*.csv >"$work/nights.csv"
for size in "${sizes[@]}"; do
  log=$work/term_log_2024-03-14.csv
  : >"$log"
  while [ "$(stat -c %s "$log")" -lt $((size * 1024 * 1024)) ]; do
    cat "$work/nights.csv" "$work/nights.csv" "$work/nights.csv" "$work/nights.csv" >>"$log"
  done
  /usr/bin/time -f '%M %e' -o "$work/time" "$kavrictl" --json calibrate "$log" >"$work/out.json"
  read -r kb seconds <"$work/time"
  points=$(python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); print(d["pointsUsed"] + d["pointsRejected"], d["pointsLeftOut"])' "$work/out.json")
  read -r kept leftOut <<<"$points"
  awk -v size="$size" -v kb="$kb" -v s="$seconds" -v kept="$kept" -v out="$leftOut" 'BEGIN {
    printf "%5d MB log: peak %6.1f MB, %5.2f s, %d focus points kept (%d older left out)\n",
           size, kb / 1024, s, kept, out }'
  rm -f "$log"
done

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Win32 dialogs end to end against the Linux emulator: kavri-sim serves a pseudo-terminal
# that a link in the Wine prefix's dosdevices folder makes COM9, with its trace of every byte;
# the test program drives the dialogs through Wine's serial driver and reads the trace for what
# the controller received.
#
# Usage: dialogs-e2e.sh KAVRI_SIM TEST_EXE
# Runs in the Wine prefix and on the display of the run (WINEPREFIX, KAVRI_WINE_DISPLAY).
set -euo pipefail
sim=$1
exe=$2
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:?the Wine prefix of the run}"
work=$(mktemp -d)
link=$WINEPREFIX/dosdevices/com9
pid=
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX/dosdevices"
rm -f "$link"
"$sim" --link "$link" --fast --trace >"$work/out" 2>"$work/trace" &
pid=$!
for _ in $(seq 100); do
    [ -s "$work/out" ] && [ -L "$link" ] && break
    sleep 0.05
done
[ -L "$link" ] || { echo "kavri-sim did not start"; cat "$work/trace"; exit 1; }
KAVRI_SIM_COM=9 KAVRI_SIM_TRACE="Z:$work/trace" "$here/../../../cmake/wine-run.sh" "$exe"

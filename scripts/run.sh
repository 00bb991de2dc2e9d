#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, starts the controller emulator as COM1 and opens the
# desktop program; the emulator stops when the window closes. Without a display it shows
# `kavrictl status` and `kavrictl filters` against the emulator instead.
#
# The emulator registers itself in your normal port map ($XDG_CONFIG_HOME/kavri/ports/com1,
# default ~/.config/kavri/ports/com1) and removes the link when it stops. A com1 link that
# names a real device is never replaced: the emulator refuses to start then, and this script
# says so.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The same build folder and type as scripts/test.sh, so either reuses what the other built.
source scripts/build-config.sh
cmake -S . -B build "${plain_build_args[@]}" >/dev/null
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  exec 3<&- 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The emulator prints its pseudo-terminal's path as its first line once it is serving and
# linked as COM1. Its output stays open on descriptor 3 for as long as it runs.
mkfifo "$work/sim.out"
build/sim/kavri-sim --com 1 >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 3<"$work/sim.out"
if ! read -r -t 15 pty <&3; then
  echo "The controller emulator did not start:" >&2
  sed 's/^/  /' "$work/sim.err" >&2
  # The programs' rule: a relative (or empty) XDG_CONFIG_HOME counts as unset.
  config_home=${XDG_CONFIG_HOME:-}
  [[ $config_home == /* ]] || config_home="$HOME/.config"
  link="$config_home/kavri/ports/com1"
  if [ -e "$link" ] || [ -L "$link" ]; then
    echo "COM1 is already mapped ($link -> $(readlink "$link" || echo '?'))." >&2
    echo "The emulator leaves an existing mapping alone. Connect to that device with" >&2
    echo "build/src/ui/kavri-control, or remove the link to try the emulator." >&2
  fi
  exit 1
fi
echo "Controller emulator on $pty, registered as COM1."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are empty): the window cannot open."
  echo "The controller's status and filter table through the command-line tool instead:"
  echo
  echo "$ kavrictl --port 1 status"
  build/cli/kavrictl --port 1 status
  echo
  echo "$ kavrictl --port 1 filters"
  build/cli/kavrictl --port 1 filters
else
  build/src/ui/kavri-control
fi

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screenshots of the Qt desktop program's four dialogs (main, focuser settings, microstep
# table, wheel settings) on a private Xvfb display, driven from the keyboard as a user would,
# against kavri-sim. The emulator runs --fast and without thermometers, whose slowly drifting
# readings would differ from run to run, so two runs of the same program give the same
# pixels: a change of the program's look shows in
#   compare -metric AE before/main.png after/main.png diff.png
#
#   bash scripts/qt-screenshots.sh BUILD_DIR OUT_DIR [DISPLAY]     (DISPLAY default :89)
#
# Needs Xvfb, xdotool, xwininfo (x11-utils) and ImageMagick's import.
set -euo pipefail
build=$(realpath "$1")
mkdir -p "$2"
out=$(realpath "$2")
display=${3:-:89}

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "qt-screenshots: $*" >&2
  exit 1
}

Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start on $display: $(cat "$work/xvfb.log")"

# Settings of their own: the program finds the emulator as COM3 through "Auto".
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
unset QT_QPA_PLATFORM
mkdir -p "$HOME"
"$build/sim/kavri-sim" --fast --com 3 --thermometers 0 >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
[ -s "$work/sim.out" ] || fail "kavri-sim did not start: $(cat "$work/sim.err")"
"$build/src/ui/kavri-control" >"$work/control.log" 2>&1 &
pids+=($!)

# Waits for the shown window named $1 and gives it the keyboard focus (without a window
# manager a closed dialog hands the focus to no one); prints its id.
focus_window() {
  local window=""
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || fail "no window \"$1\": $(cat "$work/control.log")"
  xdotool windowfocus --sync "$window"
  echo "$window"
}

# Saves the window named $1 as $2.png, once the main dialog's refresh has shown the
# controller's state (a tick a second).
shoot() {
  local window
  window=$(focus_window "$1")
  sleep 2.5
  import -window "$window" "$out/$2.png"
}

main_name="Kavri Filter Wheel & Focuser Control Dialog"
focus_window "$main_name" >/dev/null
xdotool key Return                         # Enter connects while not connected
shoot "$main_name" main
xdotool key Tab Tab space                  # position box -> minimum step -> "Фокусер..."
shoot "Настройки Фокусера" focuser-settings
xdotool key Tab Tab Tab space              # OK -> Cancel -> step list -> "Микрошаги"
shoot "Microsteps Table" microstep-table
xdotool key Escape
focus_window "Настройки Фокусера" >/dev/null
xdotool key Escape
focus_window "$main_name" >/dev/null
xdotool key Tab space                      # "Фокусер..." -> "Колесо..."
shoot "KavriFilterWheel Settings Dialog" wheel-settings
xdotool key Escape
echo "qt-screenshots: main, focuser-settings, microstep-table, wheel-settings .png in $out"

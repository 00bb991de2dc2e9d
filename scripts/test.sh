#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the project twice (plain, and with AddressSanitizer +
# UndefinedBehaviorSanitizer) and runs the whole suite in both builds; then cross-builds the
# Windows programs and tests with MinGW-w64 and runs them under Wine on Xvfb (with screenshots
# of the Win32 dialogs in build-win/screenshots/); then packages what the
# plain and the Windows builds made and checks the packages (scripts/package-check.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/build-config.sh

jobs=$(nproc 2>/dev/null || echo 2)

# Licence identifiers: every source file names its licence in its first line.
bash scripts/spdx-check.sh
export QT_QPA_PLATFORM=offscreen

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" -j "$jobs" --output-on-failure
}

# The plain build is the one scripts/run.sh uses too (scripts/build-config.sh); the sanitizer
# build is lightly optimised with line tables only (enough for readable reports): both keep
# the two-core CI run short, as do the batches of the unity build (KAVRI_UNITY_BUILD).
echo "== plain build =="
run_suite build "${plain_build_args[@]}"
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -DKAVRI_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DKAVRI_UNITY_BUILD=ON

# Windows: kavri-core, kavrictl.exe, the Win32 desktop program's dialogs and their tests,
# cross-built, run under Wine in a throwaway prefix (no network, no Mono or Gecko downloads);
# kavrictl.exe end to end against the Linux build's kavri-sim. The dialogs' tests open windows:
# the stage runs on a display of its own (Xvfb, no window manager), which cmake/wine-run.sh
# hands to Wine; the other tests show none.
echo "== Windows build under Wine =="
wine_scratch=$(mktemp -d)
export WINEPREFIX=$wine_scratch/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineserver=/usr/lib/wine/wineserver
command -v wineserver >/dev/null 2>&1 && wineserver=wineserver
trap '"$wineserver" -k 2>/dev/null; rm -rf "$wine_scratch"' EXIT
cmake -S . -B build-win "${win_build_args[@]}" -DKAVRI_SIM_PROGRAM="$PWD/build/sim/kavri-sim" \
  -DKAVRI_LINUX_KAVRICTL="$PWD/build/cli/kavrictl" >/dev/null
cmake --build build-win -j "$jobs"
rm -f build-win/screenshots/*
# One Wine server for the whole run, so each test does not start its own. It is started first:
# asked for while the server of wineboot still runs, it fails, and this script with it. It
# ends with the display.
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash -c '
  set -e
  export KAVRI_WINE_DISPLAY=$DISPLAY
  trap "\"$0\" -k 2>/dev/null" EXIT
  mkdir -p "$WINEPREFIX"
  "$0" -p >/dev/null 2>&1  # quiet: a killed server lists its objects on standard error
  cmake/wine-prefix.sh
  ctest --test-dir build-win -j "$1" --output-on-failure' "$wineserver" "$jobs"
for bmp in build-win/screenshots/*.bmp; do
  [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
done
echo "screenshots of the Win32 dialogs: $(ls build-win/screenshots | tr '\n' ' ')in build-win/screenshots"

# The packages, from the plain and the Windows builds as they are, checked in the Wine prefix
# of this run.
echo "== packages =="
bash scripts/package.sh
bash scripts/package-check.sh

#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a Windows program of the cross build under Wine, as CTest's cross-compiling emulator:
# quiet (no Wine debug output) and without Wine's offer to download Mono or Gecko (mscoree and
# mshtml switched off), so it needs no network. Without a display, unless KAVRI_WINE_DISPLAY
# names one: the tests of the dialogs open windows (scripts/test.sh gives them an Xvfb), the
# others never show any. WINEPREFIX chooses the Wine prefix as usual; the CI makes a
# throwaway one for each run (cmake/wine-prefix.sh).
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEDEBUG WINEDLLOVERRIDES
unset WAYLAND_DISPLAY
if [ -n "${KAVRI_WINE_DISPLAY:-}" ]; then
    DISPLAY=$KAVRI_WINE_DISPLAY
    export DISPLAY
else
    unset DISPLAY
fi
# Debian's wine64 package keeps its program outside the PATH.
for wine in wine64 /usr/lib/wine/wine64 wine; do
    if command -v "$wine" >/dev/null 2>&1; then exec "$wine" "$@"; fi
done
echo "wine-run.sh: Wine is not installed (Debian: apt-get install wine64)" >&2
exit 127

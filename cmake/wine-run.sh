#!/bin/sh
# Runs a Windows program of the cross build under Wine, as CTest's cross-compiling emulator:
# quiet (no Wine debug output), without a display, and without Wine's offer to download Mono
# or Gecko (mscoree and mshtml switched off), so it needs no network. WINEPREFIX chooses the
# Wine prefix as usual; the CI makes a throwaway one for each run.
: "${WINEDEBUG:=-all}"
: "${WINEDLLOVERRIDES:=mscoree,mshtml=}"
export WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
# Debian's wine64 package keeps its program outside the PATH.
for wine in wine64 /usr/lib/wine/wine64 wine; do
    if command -v "$wine" >/dev/null 2>&1; then exec "$wine" "$@"; fi
done
echo "wine-run.sh: Wine is not installed (Debian: apt-get install wine64)" >&2
exit 127

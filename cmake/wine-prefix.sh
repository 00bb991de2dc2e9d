#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Wine prefix WINEPREFIX names ready for the Windows tests:
#  - wineboot creates it;
#  - Wine's own fonts (Debian: fonts-wine) are linked into its Fonts folder: Tahoma, the face
#    Windows gives the dialogs' "MS Shell Dlg", with Cyrillic, and Marlett, the symbols of the
#    title bars' buttons. Debian's Wine does not find them in its data folder, and would draw
#    the dialogs in whatever face fontconfig offers;
#  - Xvfb runs no window manager: Wine draws the windows' frames and title bars itself, so
#    screenshots of the dialogs show them whole, and keeps its windows to itself (unmanaged),
#    rather than waiting two seconds for a window manager at every window that closes.
set -e
run=$(dirname "$0")/wine-run.sh
mkdir -p "$WINEPREFIX"
"$run" wineboot -i >/dev/null 2>&1
fonts=$WINEPREFIX/drive_c/windows/Fonts
mkdir -p "$fonts"
for font in /usr/share/wine/fonts/*.ttf; do
    if [ -e "$font" ]; then ln -sf "$font" "$fonts/"; fi
done
for value in Decorated Managed; do
    "$run" reg add 'HKCU\Software\Wine\X11 Driver' /v "$value" /d N /f >/dev/null 2>&1
done

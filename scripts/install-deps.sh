#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the tests and the programs need.
# Quiet and quick when everything is already there; uses sudo only when not root.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev
  qt6-base-dev libgl-dev
  libcli11-dev nlohmann-json3-dev libboost-dev
  libindi-dev indi-bin
  fonts-dejavu-core
  python3
  xvfb xauth x11-utils
  # Screenshots of the dialogs: the Qt program's driven with xdotool (scripts/qt-screenshots.sh),
  # the Win32 ones' converted to PNG
  xdotool imagemagick
  chromium
  # KStars itself, with a session bus and gdbus to drive Ekos, for the test that runs a night
  kstars dbus-daemon libglib2.0-bin
  g++-mingw-w64-x86-64-posix googletest
  # Packages: building (dpkg-shlibdeps, file), checking (lintian, desktop-file-validate,
  # appstreamcli, man) and the archive and completion checks.
  dpkg-dev file lintian desktop-file-utils appstream man-db gzip unzip bash-completion
  # systemd-analyze reads the Alpaca server's user unit as systemd would
  systemd
)
# Wine runs the Windows programs and tests, which are x86-64: on x86 machines only; with Wine's
# own fonts (Tahoma for the dialogs, Marlett for title bars, see cmake/wine-prefix.sh).
case $(dpkg --print-architecture) in
  amd64 | i386) packages+=(wine64 fonts-wine) ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

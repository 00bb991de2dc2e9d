#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the packages that scripts/package.sh put into dist/, as a user would meet them:
#  - lintian (no error, no warning) on every Debian package; the desktop entry and the
#    AppStream metainfo they carry pass desktop-file-validate and appstreamcli;
#  - installed with apt-get: each manual page is found, every program answers --version,
#    kavrictl completes, systemd takes kavri-alpaca's user unit, indiserver starts indi_kavri
#    by name and it connects to kavri-sim, the desktop program opens its window on Xvfb from
#    its installed path;
#  - purged again: no file the packages installed is left (the settings the programs wrote in
#    the home folder stay);
#  - the Windows archive unpacks to one folder with the README and the licence, and each of
#    its programs answers --version under Wine.
# Runs as root (or through sudo). Refuses to start when a package of the project is already
# installed, so it never removes an installation it did not make.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(sed -n 's/^project(KavriControl VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

shopt -s nullglob
debs=("$root"/dist/*.deb)
zips=("$root"/dist/kavri-*-win64.zip)
[ ${#debs[@]} -gt 0 ] || { echo "no packages in dist/: run scripts/package.sh first" >&2; exit 1; }
packages=()
for deb in "${debs[@]}"; do packages+=("$(dpkg-deb -f "$deb" Package)"); done

work=$(mktemp -d)
installed=0
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if [ $installed -eq 1 ]; then
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get purge -y -qq "${packages[@]}" \
      >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
step() { echo "-- $*"; }
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

step "lintian"
lintian --allow-root --fail-on error,warning "${debs[@]}"

step "desktop entry and AppStream metainfo"
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$work/contents"; done
desktop=("$work"/contents/usr/share/applications/*.desktop)
metainfo=("$work"/contents/usr/share/metainfo/*.metainfo.xml)
[ ${#desktop[@]} -eq ${#metainfo[@]} ] || fail "a desktop entry without metainfo, or the reverse"
for file in "${desktop[@]}"; do desktop-file-validate "$file"; done
for file in "${metainfo[@]}"; do appstreamcli validate --no-net "$file"; done

step "install: ${packages[*]}"
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "installed"; then
    fail "$package is installed already; purge it before this check"
  fi
done
# The folders the packages bring that exist already stay after the purge; all else goes.
listing=$work/listing
for deb in "${debs[@]}"; do dpkg-deb -c "$deb"; done | awk '{print $1, substr($6, 2)}' >"$listing"
while read -r mode path; do
  [[ $mode == d* ]] && [ -d "$path" ] && echo "$path"
done <"$listing" >"$work/existing-dirs"
installed=1
# Without recommended packages: what the packages depend on must be enough to run them.
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
  -o DPkg::Lock::Timeout=600 "${debs[@]}" >/dev/null

# The programs run as a user would, with a home folder of their own.
export HOME=$work/home
unset XDG_CONFIG_HOME XDG_DATA_HOME QT_QPA_PLATFORM
mkdir -p "$HOME"

has() { printf '%s\n' "${packages[@]}" | grep -qx "$1"; }

step "manual pages, --version of every program, kavrictl's completion"
pages=$(awk '$2 ~ "^/usr/share/man/man1/.*[.]1[.]gz$" {print $2}' "$listing")
[ -n "$pages" ] || fail "the packages hold no manual page"
for path in $pages; do
  page=$(basename "$path" .1.gz)
  found=$(man -w "$page") || fail "man -w $page finds no page"
  [ "$found" = "$path" ] || fail "man -w $page: $found"
done
for path in $(awk '$1 ~ "^-" && $2 ~ "^/usr/bin/" {print $2}' "$listing"); do
  name=$(basename "$path")
  [ "$(command -v "$name")" = "$path" ] || fail "$name is not found as $path"
  answer=$("$name" --version) || fail "$name --version failed"
  [ "$answer" = "$name $version" ] || fail "$name --version: $answer"
done
if has kavrictl; then
  completion=$(bash -c 'source /usr/share/bash-completion/bash_completion
    _completion_loader kavrictl; complete -p kavrictl') || fail "no bash completion for kavrictl"
  [[ $completion == *_kavrictl* ]] || fail "kavrictl completes with: $completion"
fi

if has kavri-alpaca; then
  step "kavri-alpaca's systemd user unit"
  unit=/usr/lib/systemd/user/kavri-alpaca.service
  [ -f "$unit" ] || fail "no user unit $unit"
  # systemd's own reading of the unit: any complaint (an unknown key, a program that is not
  # there) fails the check, as systemd would ignore the line or refuse to start it.
  verdict=$(systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify: $verdict"
  [ -z "$verdict" ] || fail "systemd-analyze verify: $verdict"
  grep -qx 'ExecStart=kavri-alpaca $KAVRI_ALPACA_OPTIONS' "$unit" ||
    fail "the unit does not start kavri-alpaca: $(grep ExecStart "$unit")"
fi

check_driver() {
  step "indiserver starts indi_kavri, which connects to kavri-sim"
  kavri-sim --fast --link "$work/sim-port" >"$work/sim.out" 2>"$work/sim.err" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
  pty=$(head -n 1 "$work/sim.out")
  [[ $pty == /dev/pts/* ]] || fail "kavri-sim did not start: $(cat "$work/sim.err")"
  # A port and a local socket of its own, away from the usual 7624 and /tmp/indiserver, so
  # other INDI servers on the machine do not matter.
  local indi_port=$((20000 + RANDOM % 20000)) device="Kavri Wheel Focuser" server ready=0
  indiserver -v -r 0 -p "$indi_port" -u "$work/indiserver.socket" indi_kavri \
    >"$work/indiserver.log" 2>&1 &
  server=$!
  pids+=("$server")
  for _ in $(seq 100); do
    kill -0 "$server" 2>/dev/null || fail "indiserver ended: $(cat "$work/indiserver.log")"
    if indi_getprop -p "$indi_port" -t 1 "$device.DEVICE_PORT.PORT" >/dev/null 2>&1; then
      ready=1
      break
    fi
    sleep 0.2
  done
  [ $ready -eq 1 ] || fail "indi_kavri did not answer: $(tail -n 20 "$work/indiserver.log")"
  indi_setprop -p "$indi_port" "$device.DEVICE_PORT.PORT=$pty"
  indi_setprop -p "$indi_port" "$device.CONNECTION.CONNECT=On"
  indi_eval -p "$indi_port" -t 30 -w "\"$device.CONNECTION.CONNECT\"==1" ||
    fail "indi_kavri did not connect: $(tail -n 20 "$work/indiserver.log")"
  indi_eval -p "$indi_port" -t 10 -w "\"$device.FILTER_SLOT.FILTER_SLOT_VALUE\">=1" ||
    fail "indi_kavri shows no filter after connecting"
  driver_version=$(indi_getprop -p "$indi_port" -1 "$device.DRIVER_INFO.DRIVER_VERSION")
  [ "$driver_version" = "${version%.*}" ] || fail "the driver reports version $driver_version"
  grep -q "<version>$version</version>" /usr/share/indi/indi_kavri.xml ||
    fail "/usr/share/indi/indi_kavri.xml does not carry version $version"
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pids=()
}
if has indi-kavri && has kavri-sim; then check_driver; fi

check_desktop() {
  step "the desktop program opens its window on Xvfb"
  # Desktops match its window to the desktop entry, and so show the entry's icon and name, by
  # the window's class on X11 (StartupWMClass) and by the desktop file name on Wayland (which
  # the program sets itself).
  local wm_class
  wm_class=$(sed -n 's/^StartupWMClass=//p' "${desktop[0]}")
  [ -n "$wm_class" ] || fail "the desktop entry has no StartupWMClass"
  cat >"$work/desktop-check.sh" <<'SCRIPT'
/usr/bin/kavri-control >"$1/control.log" 2>&1 &
pid=$!
window=""
for _ in $(seq 150); do
  window=$(xwininfo -root -tree 2>/dev/null | awk -v c="(\"$2\" " 'index($0, c) {print $1; exit}')
  [ -n "$window" ] && break
  sleep 0.2
done
status=0
if [ -z "$window" ]; then
  echo "no window of class $2 appeared:" >&2
  xwininfo -root -tree >&2
  cat "$1/control.log" >&2
  status=1
fi
kill "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
exit $status
SCRIPT
  xvfb-run -a -n "${KAVRI_CHECK_DISPLAY:-71}" -s "-screen 0 1280x1024x24" \
    bash "$work/desktop-check.sh" "$work" "$wm_class" || fail "the desktop program did not start"
}
if has kavri-control; then check_desktop; fi

step "purge"
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get purge -y -qq \
  -o DPkg::Lock::Timeout=600 "${packages[@]}" >/dev/null
installed=0
left=()
while read -r mode path; do
  if [[ $mode == d* ]]; then
    [ -d "$path" ] && ! grep -qxF "$path" "$work/existing-dirs" && left+=("$path")
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done <"$listing"
[ ${#left[@]} -eq 0 ] || fail "left after the purge: ${left[*]}"
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -qv "not-installed"; then
    fail "$package is still known to dpkg: $(dpkg-query -W -f='${Status}' "$package")"
  fi
done
[ -f "$HOME/.config/kavri/registry.reg" ] || fail "the user's settings went with the packages"

step "the Windows archive"
[ ${#zips[@]} -eq 1 ] || fail "one Windows archive expected in dist/, found ${#zips[@]}"
top=$(basename "${zips[0]}" .zip)
[ "$top" = "kavri-$version-win64" ] || fail "archive named $top"
unzip -q "${zips[0]}" -d "$work/zip"
contents=$(cd "$work/zip" && find . -type f | sort)
for file in kavrictl.exe kavri-control.exe kavri-alpaca.exe README.txt LICENSE.txt; do
  grep -qx "./$top/$file" <<<"$contents" || fail "$file is not in $top/: $contents"
done
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$work/wine
  cmake/wine-run.sh wineboot -i >/dev/null 2>&1
fi
# Every program of the archive, as every program of the packages, says its version; each
# runs on Windows 7 and later (6.1 in its header) and needs no DLL beyond the system's.
system_dlls='advapi32|comctl32|comdlg32|gdi32|kernel32|msvcrt|ole32|shell32|user32|ws2_32|iphlpapi|bcrypt|mswsock'
for exe in "$work/zip/$top"/*.exe; do
  name=$(basename "$exe" .exe)
  header=$(x86_64-w64-mingw32-objdump -p "$exe")
  grep -Eq '^MajorSubsystemVersion\s+6$' <<<"$header" && grep -Eq '^MinorSubsystemVersion\s+1$' <<<"$header" ||
    fail "$name.exe is not marked for Windows 6.1"
  other=$(sed -n 's/^\s*DLL Name: //p' <<<"$header" | grep -Eivx "($system_dlls)\.dll" || true)
  [ -z "$other" ] || fail "$name.exe needs DLLs beyond the system's: $other"
  if [ "$name" = kavri-control ]; then
    [ "$(stat -c %s "$exe")" -lt $((5 * 1024 * 1024)) ] || fail "kavri-control.exe is 5 MB or more"
  fi
  answer=$(cmake/wine-run.sh "$exe" --version | tr -d '\r') || fail "$name.exe --version failed"
  [ "$answer" = "$name $version" ] || fail "$name.exe --version: $answer"
done

echo "packages: all checks passed"

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The setup pages in a real browser: kavri-alpaca serves the emulated controller, a client
# connects both devices, and headless Chromium loads the server's and the focuser's setup
# pages. The rendered page must hold the port choice with the COM list and the connected
# state; a screenshot of the focuser's page is left as OUT_DIR/alpaca-setup.png.
#
#   setup-page-browser.sh KAVRI_ALPACA KAVRI_SIM CHROMIUM OUT_DIR
set -euo pipefail
alpaca=$1 sim=$2 chromium=$3 out=$4
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  exec 3<&- 4<&- 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" HOME="$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

mkfifo "$work/sim.out" "$work/alpaca.out"
"$sim" --fast >"$work/sim.out" 2>"$work/sim.err" &
pids+=($!)
exec 3<"$work/sim.out"
read -r -t 15 pty <&3 || fail "the emulator did not start: $(cat "$work/sim.err")"
"$alpaca" --port "$pty" --http-port 0 --no-discovery >"$work/alpaca.out" 2>"$work/alpaca.err" &
pids+=($!)
exec 4<"$work/alpaca.out"
read -r -t 15 first <&4 || fail "kavri-alpaca did not start: $(cat "$work/alpaca.err")"
url=$(grep -o 'http://127\.0\.0\.1:[0-9]*' <<<"$first" | head -1)
[ -n "$url" ] || fail "no address in: $first"

python3 - "$url" <<'PY'
import json, sys, urllib.request
for device in ("focuser", "filterwheel"):
    request = urllib.request.Request(f"{sys.argv[1]}/api/v1/{device}/0/connected",
                                     data=b"Connected=True", method="PUT")
    reply = json.load(urllib.request.urlopen(request, timeout=30))
    assert reply["ErrorNumber"] == 0, reply
PY

browse() {
  timeout 90 "$chromium" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile-$1" --window-size=900,1050 "${@:2}" 2>>"$work/chromium.err"
}
browse 1 --dump-dom "$url/setup" >"$work/server.html" || fail "chromium: $(tail -3 "$work/chromium.err")"
for text in '<h1>Kavri Alpaca Server</h1>' '<select name="port"' '<option value="COM16">' \
            "<option value=\"$pty\" selected=\"\">" 'class="on">connected</span>' \
            '<strong>0 L</strong>, 1 R, 2 G, 3 B, 4 Ha'; do
  grep -qF "$text" "$work/server.html" || fail "the server's page lacks: $text"
done
mkdir -p "$out"
rm -f "$out/alpaca-setup.png"
browse 2 --screenshot="$out/alpaca-setup.png" "$url/setup/v1/focuser/0/setup" >/dev/null ||
  fail "chromium: $(tail -3 "$work/chromium.err")"
size=$(stat -c %s "$out/alpaca-setup.png" 2>/dev/null || echo 0)
[ "$size" -gt 20000 ] || fail "the screenshot is missing or blank ($size bytes)"
echo "setup pages rendered; screenshot $out/alpaca-setup.png ($size bytes)"

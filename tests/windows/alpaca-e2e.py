#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""kavri-alpaca.exe under Wine against the Linux emulator, end to end, as a client on the
same machine would use it: kavri-sim serves a pseudo-terminal that a link in the Wine
prefix's dosdevices folder makes COM9; the server reaches it through Wine's serial driver.
Both devices connect, the focuser moves and the wheel turns through HTTP, both disconnect,
and Ctrl+C (SIGINT, which Wine hands to the console's handlers) stops the server cleanly.
The UniqueIDs must land in the registry, in the 32-bit view of HKEY_LOCAL_MACHINE.

Usage: alpaca-e2e.py KAVRI_SIM KAVRI_ALPACA_EXE
Uses the Wine prefix of WINEPREFIX (the CI's, whose server already runs), or a throwaway one.
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

sim_program, exe = sys.argv[1], sys.argv[2]
wine_run = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake",
                        "wine-run.sh")
work = tempfile.mkdtemp()
if not os.environ.get("WINEPREFIX"):
    os.environ["WINEPREFIX"] = os.path.join(work, "prefix")
    subprocess.run([wine_run, "wineboot", "-i"], capture_output=True)
port_link = os.path.join(os.environ["WINEPREFIX"], "dosdevices", "com9")
children = []
failures = []


def check(what, condition, detail=""):
    if not condition:
        failures.append(what)
        print(f"FAILED: {what} {detail}")


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    return condition()


class Client:
    """Alpaca calls on one device; every reply is checked for its transaction numbers."""

    transaction = 0
    server_transaction = 0

    def __init__(self, port, device):
        self.base = f"http://127.0.0.1:{port}/api/v1/{device}/0/"
        self.device = device

    def call(self, member, method, fields):
        Client.transaction += 1
        fields = dict(fields, ClientTransactionID=Client.transaction)
        data = urllib.parse.urlencode(fields)
        url = self.base + member
        if method == "GET":
            request = urllib.request.Request(url + "?" + data)
        else:
            request = urllib.request.Request(url, data=data.encode(), method="PUT")
        with urllib.request.urlopen(request, timeout=10) as answer:
            body = json.load(answer)
        check(f"{self.device} {member}: ClientTransactionID echoed",
              body.get("ClientTransactionID") == Client.transaction, body)
        check(f"{self.device} {member}: ServerTransactionID increases",
              body.get("ServerTransactionID", 0) > Client.server_transaction, body)
        Client.server_transaction = body.get("ServerTransactionID", 0)
        check(f"{self.device} {member}: no error", body.get("ErrorNumber") == 0, body)
        return body.get("Value")

    def get(self, member, **fields):
        return self.call(member, "GET", fields)

    def put(self, member, **fields):
        return self.call(member, "PUT", fields)


try:
    # COM9 is this test's own in the prefix: a link a killed run left behind goes first.
    if os.path.islink(port_link):
        os.unlink(port_link)
    sim = subprocess.Popen([sim_program, "--fast", "--link", port_link],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    children.append(sim)
    if not sim.stdout.readline().startswith("/dev/"):
        raise SystemExit(f"FAILED: kavri-sim did not start: {sim.stderr.read()}")

    out_path = os.path.join(work, "server.out")
    with open(out_path, "w") as out:
        # A process group of its own: the SIGINT goes to the server alone, as a Ctrl+C in its
        # console would.
        server = subprocess.Popen([wine_run, exe, "--port", "COM9", "--http-port", "0",
                                   "--no-discovery"], stdout=out, stderr=subprocess.STDOUT,
                                  start_new_session=True)
    children.append(server)
    started = time.monotonic()
    first = wait_for(lambda: re.search(r"http://127\.0\.0\.1:(\d+) ", open(out_path).read()), 30)
    if not first:
        raise SystemExit(f"FAILED: kavri-alpaca.exe did not start: {open(out_path).read()}")
    print(f"kavri-alpaca.exe serving after {time.monotonic() - started:.1f} s")
    port = int(first.group(1))
    # Windows lets a second socket take a port that one listens on when it asks for address
    # reuse: a second server must be refused, not share the port.
    second = subprocess.run([wine_run, exe, "--http-port", str(port), "--no-discovery"],
                            capture_output=True, text=True, timeout=60)
    check("a second server on the same port is refused",
          second.returncode == 1 and f"Cannot listen on 127.0.0.1 port {port}" in second.stderr,
          f"{second.returncode}: {second.stderr}")
    focuser = Client(port, "focuser")
    wheel = Client(port, "filterwheel")

    for device in (focuser, wheel):
        device.put("connected", Connected="True")
        check(f"{device.device} connected", device.get("connected") is True)
    names = wheel.get("names")
    check("the emulator's filter names", names == ["L", "R", "G", "B", "Ha"], names)
    check("no focus offsets to apply twice", wheel.get("focusoffsets") == [0] * 5)
    start = focuser.get("position")
    check("a focuser position", isinstance(start, int), start)
    target = (start or 0) + 300
    focuser.put("move", Position=target)
    check(f"the focuser moved to {target}",
          wait_for(lambda: focuser.get("position") == target and not focuser.get("ismoving"), 20))
    slot = (wheel.get("position") + 2) % 5
    wheel.put("position", Position=slot)
    check(f"the wheel turned to slot {slot}",
          wait_for(lambda: wheel.get("position") == slot, 20))
    state = {item["Name"]: item["Value"] for item in focuser.get("devicestate")}
    check("devicestate holds the position", state.get("Position") == target, state)

    # One device disconnects, the other keeps the port; then the last one closes it.
    focuser.put("connected", Connected="False")
    check("the focuser disconnected", focuser.get("connected") is False)
    check("the wheel stays connected", wheel.get("position") == slot)
    wheel.put("connected", Connected="False")
    check("the wheel disconnected", wheel.get("connected") is False)

    stop_sent = time.monotonic()
    server.send_signal(signal.SIGINT)
    try:
        status = server.wait(30)
    except subprocess.TimeoutExpired:
        status = None
    output = open(out_path).read().replace("\r", "")
    print(f"Ctrl+C: kavri-alpaca.exe ended {time.monotonic() - stop_sent:.1f} s later, "
          f"exit {status}")
    check("Ctrl+C stops it with status 0", status == 0, output)
    check("it says it stopped", output.rstrip().endswith("kavri-alpaca: stopped"), output)

    query = subprocess.run([wine_run, "reg", "query", r"HKLM\Software\Kavri\Alpaca", "/reg:32"],
                           capture_output=True, text=True).stdout
    for name in ("FocuserUniqueID", "FilterWheelUniqueID"):
        check(f"registry: {name}", re.search(name + r"\s+REG_SZ\s+[0-9a-f-]{36}", query), query)
finally:
    # SIGTERM lets the emulator remove its link.
    for child in children:
        if child.poll() is None:
            child.terminate()
            try:
                child.wait(10)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
    shutil.rmtree(work, ignore_errors=True)

print(f"{len(failures)} failed" if failures else "kavri-alpaca.exe end to end: all passed")
sys.exit(1 if failures else 0)

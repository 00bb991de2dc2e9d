#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""KStars and Ekos run the controller: Debian's kstars under Xvfb, in the session bus of
dbus-run-session, against the emulator.

Set up as the README tells a user: an Ekos profile that names "Kavri Wheel Focuser" once, as the
focuser (with the CCD simulator as camera), and an optical train with it as focuser and as
filter wheel. Ekos is started through its D-Bus interface; its Focus module moves the focuser
out and in, and a Capture job changes the filter. Passes only when both happen on the one
driver process that Ekos started, and the driver's sanitizer (when built with one) stays quiet.

Usage: ekos_night.py DRIVER SIM DRIVER_XML
"""
import ast
import os
import re
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time
from xml.etree import ElementTree

DEVICE = "Kavri Wheel Focuser"
COM = 3


class Failure(Exception):
    pass


def log(text):
    print(text, flush=True)


def wait_for(what, check, timeout):
    """Polls `check` until it returns something true; that value, or Failure after `timeout`."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.2)


class Bus:
    """KStars' D-Bus interface through gdbus."""

    def __init__(self, env):
        self.env = env

    def call(self, path, method, *args):
        result = subprocess.run(
            ["gdbus", "call", "--session", "--dest", "org.kde.kstars", "--object-path", path,
             "--method", method, "--timeout", "20", "--", *[str(a) for a in args]],
            env=self.env, capture_output=True, text=True)
        if result.returncode != 0:
            return None
        # GVariant text: drop type annotations and variant brackets, then read it as Python.
        text = re.sub(r"@\w+ ", "", result.stdout.strip()).replace("<", "").replace(">", "")
        text = text.replace("true", "True").replace("false", "False")
        try:
            value = ast.literal_eval(text)
        except (ValueError, SyntaxError):
            return None
        return value[0] if isinstance(value, tuple) and len(value) == 1 else value

    def indi(self, method, *args):
        return self.call("/KStars/INDI", "org.kde.kstars.INDI." + method, *args)

    def number(self, prop, element):
        return self.indi("getNumber", DEVICE, prop, element)

    def state(self, prop):
        return self.indi("getPropertyState", DEVICE, prop)

    def get(self, module, prop):
        return self.call("/KStars/Ekos/" + module, "org.freedesktop.DBus.Properties.Get",
                         "org.kde.kstars.Ekos." + module, prop)


def start_xvfb(scratch):
    read, write = os.pipe()
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write), "-noreset", "-screen", "0", "1280x1024x24",
         "-nolisten", "tcp"],
        pass_fds=[write], stdout=subprocess.DEVNULL, stderr=open(scratch + "/xvfb.log", "w"))
    os.close(write)
    # The number, then a line end: Xvfb fails when the pipe closes between the two.
    display = b""
    while not display.endswith(b"\n"):
        chunk = os.read(read, 16)
        if not chunk:
            break
        display += chunk
    os.close(read)
    display = display.decode().strip()
    if not display:
        raise Failure("Xvfb did not start")
    return server, ":" + display


def kstars_ready(bus):
    actions = bus.call("/kstars/MainWindow_1", "org.kde.KMainWindow.actions")
    return actions and "ekos" in actions


def start_kstars(bus, env, log_file, children):
    # A process group of its own, which its indiserver and drivers join.
    kstars = subprocess.Popen(["kstars"], env=env, stdout=subprocess.DEVNULL,
                              stderr=open(log_file, "w"), start_new_session=True)
    children.insert(0, kstars)
    wait_for("KStars", lambda: kstars_ready(bus), 120)
    return kstars


def start_ekos(bus, env, log_file, children):
    """KStars with Ekos running the profile, its devices known but not connected."""
    kstars = start_kstars(bus, env, log_file, children)
    bus.call("/kstars/MainWindow_1", "org.kde.KMainWindow.activateAction", "ekos")
    if not bus.call("/KStars/Ekos", "org.kde.kstars.Ekos.setProfile", "Kavri"):
        raise Failure("Ekos has no profile Kavri: " + str(bus.call(
            "/KStars/Ekos", "org.kde.kstars.Ekos.getProfiles")))
    bus.call("/KStars/Ekos", "org.kde.kstars.Ekos.start")
    wait_for("the driver's port property",
             lambda: bus.state("DEVICE_PORT") in ("Idle", "Ok"), 60)
    wait_for("the camera", lambda: bus.indi("getPropertyState", "CCD Simulator",
                                            "CONNECTION") in ("Idle", "Ok"), 60)
    return kstars


def stop_kstars(bus, kstars, children):
    """Ekos stopped, KStars ended, and its indiserver with it."""
    bus.call("/KStars/Ekos", "org.kde.kstars.Ekos.stop")
    kstars.terminate()
    kstars.wait(30)
    children.remove(kstars)
    end_group(kstars.pid)


def train_of(database):
    db = sqlite3.connect(database)
    row = db.execute("SELECT focuser, filterwheel FROM opticaltrains").fetchone()
    db.close()
    return row


def set_train(database):
    db = sqlite3.connect(database)
    db.execute("UPDATE opticaltrains SET focuser = ?, filterwheel = ?", (DEVICE, DEVICE))
    db.commit()
    db.close()


def add_profile(database, driver_xml):
    """The profile as the README's steps make it: the CCD simulator as camera, and the Kavri
    device in every role its driver list offers it for (a user picks it wherever the profile
    editor shows it). Ekos makes the optical train from the profile when the devices come
    online; the test checks that the train's focuser and filter wheel are the Kavri device, as
    the README has the user check."""
    roles = {"Focusers": "Focuser", "Filter Wheels": "Filter"}
    entries = [(DEVICE, roles[group.get("group")])
               for group in ElementTree.parse(driver_xml).getroot().iter("devGroup")
               for device in group.iter("device") if device.get("label") == DEVICE]
    db = sqlite3.connect(database)
    db.execute("INSERT INTO profile (name, autoconnect) VALUES ('Kavri', 0)")
    profile = db.execute("SELECT id FROM profile WHERE name = 'Kavri'").fetchone()[0]
    for label, role in entries + [("CCD Simulator", "CCD")]:
        db.execute("INSERT INTO driver (label, role, profile) VALUES (?, ?, ?)",
                   (label, role, profile))
    db.commit()
    db.close()


def process_table():
    """Parent and process group of every process: {pid: (ppid, pgrp)}."""
    table = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/stat" % entry) as stat:
                    fields = stat.read().rsplit(")", 1)[1].split()
                table[int(entry)] = (int(fields[1]), int(fields[2]))
            except (OSError, IndexError, ValueError):
                pass
    return table


def descendants(root):
    """Every process below `root`."""
    table = process_table()
    found = []
    for pid in table:
        ancestor = table[pid][0]
        while ancestor and ancestor != root:
            ancestor = table.get(ancestor, (0, 0))[0]
        if ancestor == root:
            found.append(pid)
    return sorted(found)


def end_group(group):
    """Ends what is left of a process group of ours (KStars' indiserver and drivers, which
    outlive KStars) and waits for it: a driver's sanitizer reports are written as it exits.
    The group, not process ids read earlier: those may belong to other programs by now."""
    members = lambda: [pid for pid, (_, pgrp) in process_table().items() if pgrp == group]
    if members():
        try:
            os.killpg(group, signal.SIGTERM)
        except ProcessLookupError:
            pass
    wait_for("the exit of KStars' processes", lambda: not members(), 30)


def driver_processes(kstars_pid, driver):
    """Processes running `driver` below KStars (its indiserver's children)."""
    found = []
    for pid in descendants(kstars_pid):
        try:
            if os.path.realpath("/proc/%d/exe" % pid) == os.path.realpath(driver):
                found.append(pid)
        except OSError:
            pass
    return found


def timed_move(bus, method, expected):
    start = time.monotonic()
    if not bus.call("/KStars/Ekos/Focus", "org.kde.kstars.Ekos.Focus." + method, 100):
        raise Failure("Focus." + method + " was refused: " + str(bus.get("Focus", "logText")))
    wait_for("the focuser at %d" % expected,
             lambda: bus.number("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION") == expected
             and bus.state("ABS_FOCUS_POSITION") == "Ok", 60)
    return time.monotonic() - start


def run(driver, sim, driver_xml, scratch):
    home = scratch + "/home"
    os.makedirs(home + "/.config")
    os.makedirs(scratch + "/runtime", mode=0o700)
    drivers = scratch + "/drivers"
    os.makedirs(drivers)
    shutil.copy("/usr/share/indi/drivers.xml", drivers)
    shutil.copy(driver_xml, drivers)
    # KStars' indiserver on a port free now, not the usual 7624 another server may hold.
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    with open(home + "/.config/kstarsrc", "w") as rc:
        rc.write("[GUI]\nRunStartupWizard=false\n[indi]\nindiDriversDir=%s\n"
                 "serverPortStart=%d\nserverPortEnd=%d\n" % (drivers, port, port + 20))

    # Ekos ends every indiserver on the machine ("pkill indiserver") as it starts: other
    # programs' servers, the other tests' among them, are none of this test's business.
    tools = scratch + "/bin"
    os.makedirs(tools)
    with open(tools + "/pkill", "w") as pkill:
        pkill.write("#!/bin/sh\nexit 1\n")
    os.chmod(tools + "/pkill", 0o755)

    xvfb, display = start_xvfb(scratch)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/.config",
               XDG_DATA_HOME=home + "/.local/share", XDG_RUNTIME_DIR=scratch + "/runtime",
               DISPLAY=display,
               PATH=tools + ":" + os.path.dirname(driver) + ":" + os.environ["PATH"],
               ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":log_path=" + scratch + "/asan",
               UBSAN_OPTIONS=os.environ.get("UBSAN_OPTIONS", "") + ":log_path=" + scratch + "/ubsan")
    env.pop("QT_QPA_PLATFORM", None)
    bus = Bus(env)
    children = [xvfb]
    emulator = None
    try:
        emulator = subprocess.Popen([sim, "--com", str(COM)], env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True)
        children.append(emulator)
        emulator.stdout.readline()

        # A first start makes KStars' own database; the profile goes in while KStars is down.
        began = time.monotonic()
        kstars = start_kstars(bus, env, scratch + "/kstars-first.log", children)
        bus.call("/kstars/MainWindow_1", "org.kde.KMainWindow.activateAction", "quit")
        wait_for("KStars to quit", lambda: kstars.poll() is not None, 60)
        children.remove(kstars)
        database = home + "/.local/share/kstars/userdb.sqlite"
        add_profile(database, driver_xml)

        # The first evening: Ekos starts the profile, the user sets the port and connects,
        # and Ekos makes the optical train.
        kstars = start_ekos(bus, env, scratch + "/kstars-setup.log", children)
        log("ekos: KStars and Ekos up in %.1f s" % (time.monotonic() - began))
        bus.indi("setText", DEVICE, "DEVICE_PORT", "PORT", "COM%d" % COM)
        bus.indi("sendProperty", DEVICE, "DEVICE_PORT")
        bus.call("/KStars/Ekos", "org.kde.kstars.Ekos.connectDevices")
        wait_for("the connection", lambda: bus.state("CONNECTION") == "Ok", 60)
        wait_for("Ekos' optical train", lambda: train_of(database), 60)
        stop_kstars(bus, kstars, children)
        # The README's step: the train's focuser and filter wheel are the Kavri device. Ekos
        # takes whichever wheel it met first, and the camera simulator has one too.
        set_train(database)

        # The night: the port is the one kept from the evening.
        started = time.monotonic()
        kstars = start_ekos(bus, env, scratch + "/kstars.log", children)
        if bus.indi("getText", DEVICE, "DEVICE_PORT", "PORT") != "COM%d" % COM:
            raise Failure("the port was not kept: " + str(
                bus.indi("getText", DEVICE, "DEVICE_PORT", "PORT")))
        bus.call("/KStars/Ekos", "org.kde.kstars.Ekos.connectDevices")
        wait_for("the connection", lambda: bus.state("CONNECTION") == "Ok", 60)
        wait_for("Ekos' Focus module on the Kavri focuser",
                 lambda: bus.get("Focus", "focuser") == DEVICE, 60)
        wait_for("Ekos' Capture module on the Kavri filter wheel",
                 lambda: bus.get("Capture", "filterWheel") == DEVICE, 60)
        log("ekos: up, connected and bound again in %.1f s" % (time.monotonic() - started))
        processes = driver_processes(kstars.pid, driver)
        if len(processes) != 1:
            raise Failure("expected one driver process, found %s" % processes)

        position = bus.number("ABS_FOCUS_POSITION", "FOCUS_ABSOLUTE_POSITION")
        seconds = timed_move(bus, "focusOut", position + 100)
        log("ekos: Focus moved the focuser out 100 steps (%d -> %d) in %.1f s"
            % (position, position + 100, seconds))
        seconds = timed_move(bus, "focusIn", position)
        log("ekos: Focus moved the focuser in 100 steps (%d -> %d) in %.1f s"
            % (position + 100, position, seconds))

        sequence = scratch + "/blue.esq"
        with open(sequence, "w") as esq:
            esq.write(SEQUENCE % (scratch + "/frames"))
        if not bus.call("/KStars/Ekos/Capture", "org.kde.kstars.Ekos.Capture.loadSequenceQueue",
                        sequence):
            raise Failure("Capture did not load the sequence")
        slot = bus.number("FILTER_SLOT", "FILTER_SLOT_VALUE")
        start = time.monotonic()
        bus.call("/KStars/Ekos/Capture", "org.kde.kstars.Ekos.Capture.start")
        wait_for("the wheel at B (slot 4)",
                 lambda: bus.number("FILTER_SLOT", "FILTER_SLOT_VALUE") == 4
                 and bus.state("FILTER_SLOT") == "Ok", 60)
        log("ekos: Capture turned the wheel from slot %d to B (slot 4) in %.1f s"
            % (slot, time.monotonic() - start))
        wait_for("the frame through B",
                 lambda: any("Captured" in line for line in bus.get("Capture", "logText")), 60)
        log("ekos: the job's frame through B captured %.1f s after its start"
            % (time.monotonic() - start))

        if driver_processes(kstars.pid, driver) != processes:
            raise Failure("the driver process changed: %s, then %s"
                          % (processes, driver_processes(kstars.pid, driver)))
        devices = bus.indi("getDevices")
        if [d for d in devices if d.startswith(DEVICE)] != [DEVICE]:
            raise Failure("devices: %s" % devices)
        log("ekos: one driver process (%d) served focuser and filter wheel" % processes[0])

        bus.call("/KStars/Ekos", "org.kde.kstars.Ekos.stop")
        wait_for("the driver's exit", lambda: not driver_processes(kstars.pid, driver), 30)
    finally:
        for child in children:
            child.terminate()
            try:
                child.wait(20)
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
            if child is not xvfb and child is not emulator:
                end_group(child.pid)
    # KStars logs each update of a property the driver had not defined, and each command
    # it could not dispatch; the driver causes neither.
    text = ""
    for name in ("kstars-setup.log", "kstars.log"):
        if os.path.exists(os.path.join(scratch, name)):
            with open(os.path.join(scratch, name), errors="replace") as kstars_log:
                text += kstars_log.read()
    # (indiserver's own deletion of the whole device when the driver ends at Ekos' stop is
    # sometimes among them: that is KStars' business.)
    complaints = [line for line in re.findall(
        r"Dispatch command error[^\n]*(?:" + DEVICE + r"|\n<[^\n]*device=\"" + DEVICE +
        r"\")[^\n]*", text) if not line.endswith('<delProperty device="%s"/>' % DEVICE)]
    if complaints:
        raise Failure("KStars about the driver:\n" + "\n".join(complaints))
    reports = [name for name in os.listdir(scratch) if name.startswith(("asan", "ubsan"))]
    for name in reports:
        with open(os.path.join(scratch, name)) as report:
            log(report.read())
    if reports:
        raise Failure("sanitizer reports of the driver")


SEQUENCE = """<?xml version="1.0" encoding="UTF-8"?>
<SequenceQueue version='2.1'>
<Observer></Observer>
<GuideDeviation enabled='false'>2</GuideDeviation>
<Autofocus enabled='false'>0</Autofocus>
<RefocusOnTemperatureDelta enabled='false'>1</RefocusOnTemperatureDelta>
<RefocusEveryN enabled='false'>60</RefocusEveryN>
<Job>
<Exposure>0.1</Exposure>
<Format>Mono</Format>
<Encoding>FITS</Encoding>
<Binning><X>4</X><Y>4</Y></Binning>
<Frame><X>0</X><Y>0</Y><W>1280</W><H>1024</H></Frame>
<Temperature force='false'>0</Temperature>
<Filter>B</Filter>
<Type>Light</Type>
<Count>1</Count>
<Delay>0</Delay>
<FITSDirectory>%s</FITSDirectory>
<UploadMode>0</UploadMode>
<FormatIndex>0</FormatIndex>
<Properties></Properties>
</Job>
</SequenceQueue>
"""


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    scratch = tempfile.mkdtemp(prefix="ekos-night-")
    began = time.monotonic()
    try:
        run(*sys.argv[1:], scratch)
    except Failure as failure:
        log("FAILED: %s (logs in %s)" % (failure, scratch))
        return 1
    log("ekos: the whole run took %.1f s" % (time.monotonic() - began))
    shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())

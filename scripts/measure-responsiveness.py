#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Measures how long quarnel-eval's GUI thread takes to answer an accessibility query
while the Graphs, Register Map (Continuous Read ticked) and Interrupts windows are open.

  xvfb-run -a -s '-screen 0 1280x1024x24' dbus-run-session -- \\
      python3 scripts/measure-responsiveness.py [--seconds S] [--until-alert] \\
      build/bin/quarnel-eval --sim-latency 5 [--sim-fault stall=20]

Starts the program with --quick, its own HOME/XDG folders and board state in a temporary
folder, opens the windows over AT-SPI, then times back-to-back queries of the main
window's role for S seconds (default 10; with --until-alert, only until a message box
shows or the program ends) and prints p50, p95 and max in milliseconds.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import dbus

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "e2e"))
import a11y  # noqa: E402

ACCESSIBLE = "org.a11y.atspi.Accessible"
ACTION = "org.a11y.atspi.Action"
MAIN_TITLE = "QUARNEL Evaluation Software"


def find(bus, role, name):
    """The first object with this role whose name starts with name (waits for it)."""
    obj, objects = a11y.poll(bus, lambda objects: next(
        (o for _, r, n, o in objects if r == role and n.startswith(name)), None))
    if obj is None:
        sys.exit(f"no {role} {name!r} in:\n{a11y.text(objects)}")
    return obj


def app_children(bus, app):
    """(role, name) of the program's top-level objects."""
    result = []
    for child_name, child_path in app.GetChildren(dbus_interface=ACCESSIBLE):
        child = bus.get_object(child_name, child_path, introspect=False)
        result.append((child.GetRoleName(dbus_interface=ACCESSIBLE),
                       str(child.Get(ACCESSIBLE, "Name", dbus_interface=dbus.PROPERTIES_IFACE))))
    return result


def open_windows(bus):
    find(bus, "frame", "Graphing")  # opened once the board is connected
    for button in ("Register Map Tree", "Interrupts/Limits"):
        find(bus, "push button", button).DoAction(0, dbus_interface=ACTION)
    find(bus, "frame", "Interrupt Settings")
    find(bus, "check box", "Continuous Read").DoAction(0, dbus_interface=ACTION)
    check = find(bus, "check box", "Continuous Read")
    states = check.GetState(dbus_interface=ACCESSIBLE)
    if not states[0] & (1 << 4):  # ATSPI_STATE_CHECKED
        sys.exit("Continuous Read did not get ticked")


def measure(bus, main, app, program, seconds, until_alert):
    """Round-trip times of back-to-back queries for the given seconds; with until_alert,
    stops early once a message box shows or the program ends."""
    times, alert, end = [], None, time.monotonic() + seconds
    while time.monotonic() < end and program.poll() is None:
        start = time.perf_counter()
        try:
            main.GetRoleName(dbus_interface=ACCESSIBLE)
        except dbus.DBusException:
            break  # the program has ended
        times.append((time.perf_counter() - start, start))
        if until_alert and len(times) % 20 == 0:
            alert = next((f"{role}: {name}" for role, name in app_children(bus, app)
                          if role.startswith("alert") or role == "dialog"), None)
            if alert:
                break
    return times, alert


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--until-alert", action="store_true")
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    home = tempfile.mkdtemp(prefix="quarnel-measure-")
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=f"{home}/config",
               XDG_STATE_HOME=f"{home}/state", XDG_DATA_HOME=f"{home}/data",
               XDG_CACHE_HOME=f"{home}/cache", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    log = open(f"{home}/program.log", "w")
    program = subprocess.Popen(args.command + ["--quick", "--sim-state", f"{home}/board.json"],
                               env=env, stdout=log, stderr=subprocess.STDOUT)
    try:
        bus = a11y.a11y_bus()
        main_window = find(bus, "frame", MAIN_TITLE)
        app = bus.get_object(main_window.bus_name, "/org/a11y/atspi/accessible/root",
                             introspect=False)
        open_windows(bus)
        times, alert = measure(bus, main_window, app, program, args.seconds, args.until_alert)
        ended = program.poll() is not None
    finally:
        program.terminate()
        program.wait(10)
    if not times:
        sys.exit("no query answered")
    ms = sorted(t * 1000 for t, _ in times)
    slowest = sorted(times, reverse=True)[:3]
    span = times[-1][1] - times[0][1]
    print(f"queries {len(ms)} over {span:.1f} s: p50 {ms[len(ms) // 2]:.2f} ms,"
          f" p95 {ms[int(len(ms) * 0.95)]:.2f} ms, max {ms[-1]:.2f} ms")
    print("slowest: " + ", ".join(f"{t * 1000:.1f} ms at {at - times[0][1]:.2f} s"
                                  for t, at in slowest))
    if args.until_alert:
        print(f"ended by: {alert or ('program exit' if ended else 'time limit')}")
    print(f"program output: {home}/program.log")


if __name__ == "__main__":
    main()

#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads quarnel-eval's accessibility tree over AT-SPI, as a screen reader would.

  a11y.py wait REGEX...   prints the tree once every REGEX matches it (120 s at most)
  a11y.py press NAME      presses the first push button called NAME

The tree is one line per object, "role: name", indented by depth; line breaks
inside a name are shown as spaces. Needs a session bus (dbus-run-session) and
the program started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
"""
import re
import sys
import time

import dbus

ACCESSIBLE = "org.a11y.atspi.Accessible"
DEADLINE_SECONDS = 120


def a11y_bus():
    launcher = dbus.SessionBus().get_object("org.a11y.Bus", "/org/a11y/bus")
    return dbus.bus.BusConnection(launcher.GetAddress(dbus_interface="org.a11y.Bus"))


def nodes(bus, name, path, depth=0):
    """(depth, role, name, object) of every object below and including path."""
    obj = bus.get_object(name, path, introspect=False)
    label = obj.Get(ACCESSIBLE, "Name", dbus_interface=dbus.PROPERTIES_IFACE)
    yield depth, obj.GetRoleName(dbus_interface=ACCESSIBLE), " ".join(label.split("\n")), obj
    for child_name, child_path in obj.GetChildren(dbus_interface=ACCESSIBLE):
        yield from nodes(bus, child_name, child_path, depth + 1)


def program(bus):
    """The objects of quarnel-eval, or [] while it has not registered yet."""
    for _, role, label, obj in nodes(bus, "org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"):
        if role == "application" and label == "quarnel-eval":
            return list(nodes(bus, obj.bus_name, obj.object_path))
    return []


def poll(bus, found):
    """Walks the tree until found(objects) gives a result; the program may still be
    starting or changing its windows under the walk."""
    end = time.monotonic() + DEADLINE_SECONDS
    objects = []
    while True:
        try:
            objects = program(bus)
            result = found(objects)
            if result is not None:
                return result, objects
        except dbus.DBusException:
            pass
        if time.monotonic() > end:
            return None, objects
        time.sleep(0.1)


def text(objects):
    return "".join(f"{'  ' * depth}{role}: {label}\n" for depth, role, label, _ in objects)


def main(command, *args):
    bus = a11y_bus()
    if command == "wait":
        def all_match(objects):
            tree = text(objects)
            return tree if objects and all(re.search(a, tree, re.M) for a in args) else None
        tree, objects = poll(bus, all_match)
        sys.stdout.write(tree or text(objects))
        return 0 if tree else 1
    if command == "press":
        def button(objects):
            return next((o for _, role, label, o in objects
                         if role == "push button" and label == args[0]), None)
        obj, _ = poll(bus, button)
        return 0 if obj and obj.DoAction(0, dbus_interface="org.a11y.atspi.Action") else 1
    return 2


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))

#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads quarnel-eval's accessibility tree over AT-SPI, as a screen reader would.

  a11y.py wait [-d] REGEX...  prints the tree once every REGEX matches it (120 s at most)
  a11y.py press NAME [ROLE]   does the first action of the first object called NAME
                              in ROLE (default: push button)
  a11y.py heard N             prints what a screen reader is told, "focus: NAME",
                              "name: NAME" or "value: NAME = VALUE" a line, until N
                              values have changed; "listening" first. Start it before
                              the program, which asks only then what is listened to

The tree is one line per object, "role: name", indented by depth; line breaks
inside a name are shown as spaces. With -d, what else a screen reader would say
follows in brackets: the label it is labelled by, its number value and range,
and whether it is checked or focused. Needs a session bus (dbus-run-session) and
the program started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
"""
import re
import subprocess
import sys
import time

import dbus

ACCESSIBLE = "org.a11y.atspi.Accessible"
VALUE = "org.a11y.atspi.Value"
LABELLED_BY = 2  # AtspiRelationType
CHECKED, FOCUSED = 4, 12  # AtspiStateType
DEADLINE_SECONDS = 120


def a11y_address():
    launcher = dbus.SessionBus().get_object("org.a11y.Bus", "/org/a11y/bus")
    return launcher.GetAddress(dbus_interface="org.a11y.Bus")


def a11y_bus():
    return dbus.bus.BusConnection(a11y_address())


def name_of(bus, name, path):
    obj = bus.get_object(name, path, introspect=False)
    return " ".join(obj.Get(ACCESSIBLE, "Name", dbus_interface=dbus.PROPERTIES_IFACE).split("\n"))


def details(bus, obj):
    """" [labelled by X] [value V of A..B] [checked] [focused]", or what of it applies."""
    out = ""
    for kind, targets in obj.GetRelationSet(dbus_interface=ACCESSIBLE):
        if kind == LABELLED_BY:
            out += "".join(f" [labelled by {name_of(bus, *t)}]" for t in targets)
    if VALUE in obj.GetInterfaces(dbus_interface=ACCESSIBLE):
        get = lambda p: f"{float(obj.Get(VALUE, p, dbus_interface=dbus.PROPERTIES_IFACE)):g}"
        out += f" [value {get('CurrentValue')} of {get('MinimumValue')}..{get('MaximumValue')}]"
    low, high = obj.GetState(dbus_interface=ACCESSIBLE)
    states = int(low) | int(high) << 32
    return out + "".join(f" [{s}]" for s, bit in (("checked", CHECKED), ("focused", FOCUSED))
                         if states >> bit & 1)


def nodes(bus, name, path, more=False, depth=0):
    """(depth, role, name, object) of every object below and including path; with
    more, the name is followed by its details."""
    obj = bus.get_object(name, path, introspect=False)
    label = name_of(bus, name, path) + (details(bus, obj) if more else "")
    yield depth, obj.GetRoleName(dbus_interface=ACCESSIBLE), label, obj
    for child_name, child_path in obj.GetChildren(dbus_interface=ACCESSIBLE):
        yield from nodes(bus, child_name, child_path, more, depth + 1)


def program(bus, more=False):
    """The objects of quarnel-eval, or [] while it has not registered yet."""
    root = bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root",
                          introspect=False)
    for app in root.GetChildren(dbus_interface=ACCESSIBLE):
        if name_of(bus, *app) == "quarnel-eval":
            return list(nodes(bus, *app, more))
    return []


def poll(bus, found, more=False):
    """Walks the tree until found(objects) gives a result; the program may still be
    starting or changing its windows under the walk."""
    end = time.monotonic() + DEADLINE_SECONDS
    objects = []
    while True:
        try:
            objects = program(bus, more)
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


def heard(bus, address, values):
    """Listens to the program's events as a screen reader does. Qt reads which
    events are wanted when it starts, so this starts first; dbus-monitor then
    shows what is sent."""
    watch = ["stdbuf", "-oL", "dbus-monitor", "--address", address,
             "type='signal',interface='org.a11y.atspi.Event.Object'"]
    monitor = subprocess.Popen(watch, stdout=subprocess.PIPE, text=True)
    registry = bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                              introspect=False)
    for event in ("object:property-change:accessible-name",
                  "object:property-change:accessible-value", "object:state-changed:focused"):
        registry.RegisterEvent(event, dbus.Array([], "s"), "",
                               dbus_interface="org.a11y.atspi.Registry")
    print("listening", flush=True)
    source, detail = None, None
    for line in monitor.stdout:
        if line.startswith("signal "):
            fields = dict(re.findall(r"(sender|path|member)=([^ ;]+)", line))
            source = (fields["sender"], fields["path"]) if "path" in fields else None
            detail = None
            continue
        if source and detail is None:
            detail = (re.findall(r'^\s+string "(.*)"', line) or [None])[0]
            continue
        first = re.match(r"^\s+int32 (\d+)", line)
        if not source or not first:
            continue
        kind = {"accessible-name": "name", "accessible-value": "value"}.get(detail)
        if detail == "focused" and first[1] == "1":
            kind = "focus"
        try:
            text = f"{kind}: {name_of(bus, *source)}" if kind else None
            if kind == "value":
                obj = bus.get_object(*source, introspect=False)
                number = obj.Get(VALUE, "CurrentValue", dbus_interface=dbus.PROPERTIES_IFACE)
                text += f" = {float(number):g}"
        except dbus.DBusException:
            text = None  # gone meanwhile
        source = None
        if text:
            print(text, flush=True)
            values -= kind == "value"
            if values <= 0:
                break
    monitor.kill()
    return 0


def main(command, *args):
    bus = a11y_bus()
    if command == "wait":
        more = args[:1] == ("-d",)
        patterns = args[1:] if more else args

        def all_match(objects):
            tree = text(objects)
            return tree if objects and all(re.search(a, tree, re.M) for a in patterns) else None
        tree, objects = poll(bus, all_match, more)
        sys.stdout.write(tree or text(objects))
        return 0 if tree else 1
    if command == "press":
        wanted = args[1] if len(args) > 1 else "push button"

        def button(objects):
            return next((o for _, role, label, o in objects
                         if role == wanted and label == args[0]), None)
        obj, _ = poll(bus, button)
        return 0 if obj and obj.DoAction(0, dbus_interface="org.a11y.atspi.Action") else 1
    if command == "heard":
        return heard(bus, a11y_address(), int(args[0]))
    return 2


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))

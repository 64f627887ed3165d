#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Reads the running keyloft's accessible tree the way a screen reader does:
# over AT-SPI, on a session bus and X server of its own, after the master
# password is typed. Prints the tree and fails when a control a screen-reader
# user needs is missing or unnamed, when the text changes the master
# password field reports on the bus carry a character that was typed, or
# when a program listening for keystrokes on the bus hears any key of the
# master password (while it does hear the keys typed into an Add prompt).
#
# Usage: atspi-tree.py KEYLOFT_BINARY
import ctypes
import os
import signal
import subprocess
import sys
import time

DEADLINE = 60  # seconds for the whole check
PASSWORD = "sésame"  # each of its characters differs from any masking character
# (roles accepted, name), compared by the role's number: role names differ
# between AT-SPI versions. Qt exports a tool button as a push button, and a
# line edit as text (entry in newer bridges).
BUTTON = ("PUSH_BUTTON", "TOGGLE_BUTTON")
FIELD = ("TEXT", "ENTRY")
EXPECTED = [(("FRAME",), "Keyloft"), (("TABLE",), "Entries"), (FIELD, "Length:"),
            (FIELD, "Generated password")] + [
    (BUTTON, name) for name in ("Add", "Edit", "Delete", "Save", "Load", "Generate Password")]


def start(argv, **kwargs):
    """A process that dies with this one (PR_SET_PDEATHSIG)."""
    return subprocess.Popen(argv, preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGKILL),
                            **kwargs)


def walk(node, depth=0):
    yield depth, node.get_role(), node.get_name()
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def check(keyloft):
    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, Gio, GLib
    expected = [({getattr(Atspi.Role, role) for role in roles}, name) for roles, name in EXPECTED]
    deadline = time.monotonic() + DEADLINE

    # What a screen reader does when it starts; Qt reads it once, at its start.
    Gio.bus_get_sync(Gio.BusType.SESSION, None).call_sync(
        "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
        GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))),
        None, Gio.DBusCallFlags.NONE, 10000, None)
    # Listening before keyloft starts, as a screen reader would: Qt only
    # reports the kinds of events somebody listens to.
    changes = []  # (source, kind, text) of each text change, in order
    listener = Atspi.EventListener.new(
        lambda event: changes.append((event.source, event.type, event.any_data)))
    listener.register("object:text-changed")
    # And for keystrokes, as Orca does, with any modifiers held.
    import pyatspi
    keys = []  # the text of each key pressed or released, in order

    def heard(event):
        keys.append(event.event_string)
        return False

    pyatspi.Registry.registerKeystrokeListener(
        heard, kind=(pyatspi.KEY_PRESSED_EVENT, pyatspi.KEY_RELEASED_EVENT),
        mask=pyatspi.allModifiers())

    # Xvfb writes the display it took, then a line feed, once it listens.
    read, write = os.pipe()
    server = start(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp"], pass_fds=(write,))
    os.close(write)
    with os.fdopen(read) as displayfd:
        env = dict(os.environ, DISPLAY=":" + displayfd.readline().strip(), QT_QPA_PLATFORM="xcb")
    program = start([keyloft], env=env)

    def xdotool(*args):
        return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True,
                              timeout=10).stdout.split()

    def pump():
        while GLib.MainContext.default().iteration(False):
            pass  # let the library hear of windows and events that came

    def pump_until(done, until):
        while not done() and time.monotonic() < until:
            time.sleep(0.05)
            pump()

    def wait_window(title):
        """The id of the visible window of this title, or None at the deadline."""
        found = []
        while not found and time.monotonic() < deadline and program.poll() is None:
            time.sleep(0.1)
            found = xdotool("search", "--onlyvisible", "--name", f"^{title}$")
        return found[0] if found else None

    def type_keys(*args):
        """xdotool typing while this process answers the bus: the registry
        waits for each keystroke listener before Qt's key goes on."""
        typing = subprocess.Popen(["xdotool", *args], env=env)
        while typing.poll() is None:
            pump()
            time.sleep(0.005)

    def tree():
        pump()
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            if app is not None and app.get_process_id() == program.pid:
                try:
                    return list(walk(app))
                except GLib.Error:
                    return []  # a window came or went while it was read
        return []

    def missing(nodes):
        found = {(role, name) for _, role, name in nodes}
        return [(roles, name) for roles, name in expected
                if not any((role, name) in found for role in roles)]

    try:
        prompt = wait_window("Master Password")
        if not prompt:
            print("FAIL: no \"Master Password\" prompt appeared")
            return 1
        xdotool("windowfocus", "--sync", prompt)
        type_keys("type", "--delay", "20", "--", PASSWORD)
        type_keys("key", "BackSpace")  # a correction: a removal is reported too
        type_keys("type", "--", PASSWORD[-1])
        # Each keystroke must reach the listener as a change of the password
        # field, or the check below would pass without hearing anything.
        keystrokes = len(PASSWORD) + 2

        def field_changes():
            return [(kind, text) for source, kind, text in changes
                    if source.get_role() == Atspi.Role.PASSWORD_TEXT]

        pump_until(lambda: len(field_changes()) >= keystrokes, deadline)
        reported = field_changes()
        print("The password field reported:", reported)
        if len(reported) < keystrokes:
            print(f"FAIL: {len(reported)} changes of the password field heard, {keystrokes} typed")
            return 1
        leaked = [text for _, _, text in changes if set(text or "") & set(PASSWORD)]
        if leaked:
            print(f"FAIL: the text changes told the bus {leaked!r}")
            return 1
        # Keystrokes come by way of the registry: a second for any to arrive.
        pump_until(lambda: False, time.monotonic() + 1)
        if keys:
            print(f"FAIL: a keystroke listener heard {keys!r} of the master password")
            return 1
        xdotool("key", "Return")

        nodes = []
        while missing(nodes) and time.monotonic() < deadline and program.poll() is None:
            time.sleep(0.25)
            nodes = tree()
        for depth, role, name in nodes:
            print(f"{'  ' * depth}[{Atspi.role_get_name(role)}] {name!r}")
        for roles, name in missing(nodes):
            wanted = " or ".join(sorted(Atspi.role_get_name(role) for role in roles))
            print(f"FAIL: no {wanted} named {name!r}")
        if missing(nodes):
            return 1

        # Keys typed anywhere else reach the listener as before: here into
        # the first prompt of Add, reached from the table with Tab.
        xdotool("windowfocus", "--sync", wait_window("Keyloft"))
        xdotool("key", "Tab", "space")
        if not wait_window("Add Entry"):
            print("FAIL: no \"Add Entry\" prompt appeared")
            return 1
        del keys[:]
        type_keys("type", "--delay", "20", "--", "visible")
        pump_until(lambda: "".join(k for k in keys[::2] if len(k) == 1) == "visible", deadline)
        print("A keystroke listener heard, in the Add prompt:", keys)
        if not set("visible") <= set(keys):
            print("FAIL: the keystroke listener heard nothing typed into the Add prompt")
            return 1
        return 0
    finally:
        sys.stdout.flush()
        for process in (program, server):
            process.kill()
            process.wait()


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--inside":
        sys.exit(check(sys.argv[2]))
    if len(sys.argv) != 2:
        sys.exit("usage: atspi-tree.py KEYLOFT_BINARY")
    # A session bus of its own, and with it the accessibility bus and registry,
    # which end with it. The run is bounded even if a call on the bus hangs.
    env = {key: value for key, value in os.environ.items()
           if key not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                          "AT_SPI_BUS_ADDRESS", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON",
                          "QT_ACCESSIBILITY", "NO_AT_BRIDGE", "SESSION_MANAGER")}
    env["GSETTINGS_BACKEND"] = "memory"
    sys.exit(subprocess.run(["timeout", "--kill-after=5", str(DEADLINE + 20), "dbus-run-session",
                             "--", sys.executable, os.path.abspath(__file__), "--inside",
                             os.path.abspath(sys.argv[1])], env=env).returncode)

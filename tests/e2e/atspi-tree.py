#!/usr/bin/python3
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Reads the running keyloft's accessible tree the way a screen reader does:
# on a private X server and D-Bus session, with the AT-SPI registry, after a
# master password typed at the prompt. Prints the application's tree (role
# and name) and fails when a control a screen reader user needs is missing
# or unnamed.
#
# Usage: atspi-tree.py KEYLOFT_BINARY
# It starts a session bus of its own (dbus-run-session) and runs itself
# again inside it; everything it starts ends with it, within DEADLINE.
import faulthandler
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

DEADLINE = 90  # seconds for the whole check, bus and all
GRACE = 5  # seconds the main window may take to show all its controls
INSIDE = "--inside-session"

# (roles accepted, name): what the main window must show a screen reader,
# by the role's number; its printed name differs between library versions
# ("push button" became "button"). Qt exports a tool button as a push
# button, or as a toggle button when its action is checkable; a line edit
# as text (entry in newer bridges).
BUTTON = ("PUSH_BUTTON", "TOGGLE_BUTTON")
FIELD = ("TEXT", "ENTRY")
EXPECTED = [
    (("FRAME",), "Keyloft"),
    (("TABLE",), "Entries"),
    (FIELD, "Length:"),
    (FIELD, "Generated password"),
] + [(BUTTON, name) for name in ("Add", "Edit", "Delete", "Save", "Load", "Generate Password")]


def outside(keyloft):
    """Runs this script inside a new session bus, with a home of its own."""
    scratch = tempfile.mkdtemp(prefix="keyloft-atspi-")
    try:
        for sub in ("home", "runtime"):
            os.mkdir(os.path.join(scratch, sub), 0o700)
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                            "AT_SPI_BUS_ADDRESS", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON",
                            "QT_ACCESSIBILITY", "NO_AT_BRIDGE", "XDG_CONFIG_HOME",
                            "XDG_CACHE_HOME", "XDG_DATA_HOME", "QT_QPA_PLATFORMTHEME",
                            "SESSION_MANAGER")}
        env.update(HOME=os.path.join(scratch, "home"),
                   XDG_RUNTIME_DIR=os.path.join(scratch, "runtime"),
                   GSETTINGS_BACKEND="memory")
        session = subprocess.Popen(
            ["dbus-run-session", "--", sys.executable, os.path.abspath(__file__), INSIDE, keyloft],
            env=env, start_new_session=True)
        try:
            return session.wait(DEADLINE + 15)
        except subprocess.TimeoutExpired:
            print("FAIL: the session did not end in time", flush=True)
            os.killpg(session.pid, signal.SIGKILL)
            session.wait()
            return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def die_with_parent():
    import ctypes
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def start(argv, env=None, **kwargs):
    return subprocess.Popen(argv, env=env, preexec_fn=die_with_parent, **kwargs)


def stop(process):
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def until(deadline, probe, interval=0.1):
    """probe() until it returns something true or the deadline passes."""
    while True:
        result = probe()
        if result or time.monotonic() > deadline:
            return result
        time.sleep(interval)


def xdotool(env, *args):
    try:
        return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True,
                              timeout=10).stdout.split()
    except subprocess.TimeoutExpired:
        return []


def walk(node, depth=0):
    """(depth, role, name) of node and everything under it."""
    yield depth, node.get_role(), node.get_name()
    for i in range(node.get_child_count()):
        child = node.get_child_at_index(i)
        if child is not None:
            yield from walk(child, depth + 1)


def inside(keyloft):
    # A hung call anywhere ends the run; the children die with it.
    faulthandler.dump_traceback_later(DEADLINE, exit=True)
    deadline = time.monotonic() + DEADLINE - 10

    import gi
    gi.require_version("Atspi", "2.0")
    from gi.repository import Atspi, Gio, GLib
    expected = [({getattr(Atspi.Role, role) for role in roles}, name) for roles, name in EXPECTED]

    # What a screen reader does when it starts: Qt reads this once, at start,
    # to decide whether to export its widgets.
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    bus.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
                  GLib.Variant("(ssv)", ("org.a11y.Status", "IsEnabled", GLib.Variant("b", True))),
                  None, Gio.DBusCallFlags.NONE, 10000, None)

    read, write = os.pipe()
    server = start(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                    "-nolisten", "tcp"], pass_fds=(write,))
    os.close(write)
    program = None
    try:
        # Xvfb writes the number it took, then a newline, once it listens.
        display = b""
        while not display.endswith(b"\n"):
            chunk = os.read(read, 32)
            if not chunk:
                break
            display += chunk
        display = display.decode().strip()
        os.close(read)
        if not display:
            print("FAIL: Xvfb did not start")
            return 1
        env = dict(os.environ, DISPLAY=":" + display, QT_QPA_PLATFORM="xcb")
        program = start([keyloft], env=env)

        # The master password, typed as a person types it.
        prompt = until(deadline, lambda: program.poll() is not None or xdotool(
            env, "search", "--onlyvisible", "--name", "^Master Password$"))
        if prompt is True or not prompt:
            ended = f" (keyloft ended with status {program.returncode})" if prompt else ""
            print(f"FAIL: no \"Master Password\" prompt appeared{ended}")
            return 1
        xdotool(env, "windowfocus", "--sync", prompt[0])
        xdotool(env, "type", "--delay", "20", "--", "sésame")
        xdotool(env, "key", "Return")

        def application():
            desktop = Atspi.get_desktop(0)
            for i in range(desktop.get_child_count()):
                app = desktop.get_child_at_index(i)
                if app is not None and app.get_process_id() == program.pid:
                    return app
            return None

        # The tree, once it has everything, or once the main window has been
        # up long enough for anything still missing to be missing for good.
        window_seen = []

        def shown():
            if program.poll() is not None:
                return "ended"
            context = GLib.MainContext.default()
            while context.iteration(False):
                pass  # let the library hear of windows that came or went
            try:
                app = application()
                tree = list(walk(app)) if app else []
            except GLib.Error:
                return None  # a window came or went while it was read
            found = {(role, name) for _, role, name in tree}
            if (Atspi.Role.FRAME, "Keyloft") in found and not window_seen:
                window_seen.append(time.monotonic())
            if all(any((role, name) in found for role in roles) for roles, name in expected) \
                    or (window_seen and time.monotonic() - window_seen[0] > GRACE):
                return app, tree
            return None

        result = until(deadline, shown, 0.25)
        if result == "ended":
            print(f"FAIL: keyloft ended early with status {program.returncode}")
            return 1
        if not result:
            print("FAIL: no \"Keyloft\" window reached the accessibility bus "
                  "(is Qt's AT-SPI bridge on?)")
            return 1

        app, tree = result
        for depth, role, name in tree:
            print(f"{'  ' * depth}[{Atspi.role_get_name(role)}] {name!r}")
        failures = []
        if app.get_name() != os.path.basename(keyloft):
            failures.append(f"application is named {app.get_name()!r}, "
                            f"not {os.path.basename(keyloft)!r}")
        for roles, name in expected:
            found = {role for _, role, n in tree if n == name}
            if not found & roles:
                wanted = " or ".join(sorted(Atspi.role_get_name(role) for role in roles))
                other = ", ".join(sorted(Atspi.role_get_name(role) for role in found))
                failures.append(f"no {wanted} named {name!r}" + (f" (only {other})" if other else ""))
        for failure in failures:
            print("FAIL:", failure)
        if not failures:
            print(f"PASS: {len(EXPECTED)} controls named as expected")
        return 1 if failures else 0
    finally:
        sys.stdout.flush()
        stop(program)
        stop(server)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == INSIDE:
        sys.exit(inside(sys.argv[2]))
    if len(sys.argv) != 2:
        sys.exit("usage: atspi-tree.py KEYLOFT_BINARY")
    sys.exit(outside(os.path.abspath(sys.argv[1])))

#!/usr/bin/env python3
"""Starts the program on a virtual display and reads its main window over the
AT-SPI bus, as a screen reader would: every focusable control that shows must
have a name. Run inside a D-Bus session of its own (see atspi-walk.sh)."""
import os
import subprocess
import sys
import time

import pyatspi

SKIPPED_UNDER = {pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE}  # rows are cell texts


def start_display():
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
        pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                break
            number += chunk
    if not number.strip():
        xvfb.kill()
        raise SystemExit("Xvfb did not start")
    return xvfb, ":" + number.decode().strip()


def find_app(name, seconds):
    until = time.time() + seconds
    while time.time() < until:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and name in (app.name or "").lower():
                frames = [app.getChildAtIndex(j) for j in range(app.childCount)]
                if any(f is not None and f.childCount > 0 for f in frames):
                    return app
        time.sleep(0.3)
    return None


def walk(node, found, depth=0):
    if node is None or depth > 40:
        return
    states = node.getState()
    if states.contains(pyatspi.STATE_FOCUSABLE) and states.contains(pyatspi.STATE_SHOWING):
        name = (node.name or "").strip()
        found.append((node.getRoleName(), name))
    if node.getRole() in SKIPPED_UNDER:
        return
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), found, depth + 1)


def main():
    exe = sys.argv[1]
    xvfb, display = start_display()
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    env.pop("WAYLAND_DISPLAY", None)
    program = subprocess.Popen([exe], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        app = find_app("kelvane", 30)
        if app is None:
            print("the program did not appear on the accessibility bus", file=sys.stderr)
            return 1
        time.sleep(1.0)  # let the window finish its first layout
        found = []
        for j in range(app.childCount):
            walk(app.getChildAtIndex(j), found)
        unnamed = [role for role, name in found if not name]
        print("focusable controls: %d, without a name: %d" % (len(found), len(unnamed)))
        for role, name in found:
            print("  %-16s %s" % (role, name or "<no name>"))
        return 1 if unnamed else 0
    finally:
        program.terminate()
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            program.kill()
        xvfb.terminate()
        xvfb.wait(10)


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Starts the program on a virtual display and reads its main window, Options
and Language over the AT-SPI bus, as a screen reader would: every focusable
control that shows must have a name, and a drop-down's name says what is chosen
there, not the item chosen. Run inside a D-Bus session of its own (see
atspi-walk.sh)."""
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import Atspi

SKIPPED_UNDER = {pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE}  # rows are cell texts
# The drop-downs of each window walked, by the names they must carry (built-in
# English texts).
COMBO_NAMES = {
    "Kelvane": ["Number of iterations", "New file size", "After processing:"],
    "Options": [],
    "Select language": ["Current language:"],
}


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
        found.append((node.getRoleName(), name, node))
    if node.getRole() in SKIPPED_UNDER:
        return
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), found, depth + 1)


def find(node, wanted, depth=0):
    if node is None or depth > 40:
        return None
    if wanted(node):
        return node
    if node.getRole() in SKIPPED_UNDER:
        return None
    for i in range(node.childCount):
        hit = find(node.getChildAtIndex(i), wanted, depth + 1)
        if hit is not None:
            return hit
    return None


def press(node):
    """Presses a control. A command that opens a modal window answers only once
    that window has closed, so the answer is not waited for."""
    Atspi.set_timeout(1000, -1)
    try:
        node.queryAction().doAction(0)
    except Exception:  # no reply while the modal window is open
        pass
    Atspi.set_timeout(-1, -1)
    time.sleep(1.0)


def menu_item(app, caption):
    return find(app, lambda n: n.getRole() == pyatspi.ROLE_MENU_ITEM
                and (n.name or "").replace("&", "").startswith(caption))


def window(app, title):
    for j in range(app.childCount):
        top = app.getChildAtIndex(j)
        if top is not None and top.name == title and top.childCount > 0:
            return top
    return None


def check_window(top, title):
    """Prints the walk of one window; returns its faults."""
    found = []
    walk(top, found)
    unnamed = [role for role, name, _ in found if not name]
    print("%s: focusable controls: %d, without a name: %d" % (title, len(found), len(unnamed)))
    faults = len(unnamed)
    combos = []
    for role, name, node in found:
        print("  %-16s %s" % (role, name or "<no name>"))
        if node.getRole() == pyatspi.ROLE_COMBO_BOX:
            combos.append(name)
            items = []
            for i in range(node.childCount):
                collect_names(node.getChildAtIndex(i), items)
            if name in items:
                print("  ^ named by its chosen item, not by what it chooses")
                faults += 1
    if combos != COMBO_NAMES[title]:
        print("%s: drop-downs named %s, expected %s" % (title, combos, COMBO_NAMES[title]))
        faults += 1
    return faults


def collect_names(node, out, depth=0):
    if node is None or depth > 5:
        return
    if node.getRole() == pyatspi.ROLE_LIST_ITEM:
        out.append(node.name)
    for i in range(node.childCount):
        collect_names(node.getChildAtIndex(i), out, depth + 1)


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
        faults = check_window(window(app, "Kelvane"), "Kelvane")
        # The dialogs, opened from the menu as a reader's user would, and closed.
        for caption, title in (("Options", "Options"), ("Language", "Select language")):
            item = menu_item(app, caption)
            if item is None:
                print("no menu item %s" % caption)
                faults += 1
                continue
            press(item)
            dialog = window(app, title)
            if dialog is None:
                print("the window %s did not open" % title)
                faults += 1
                continue
            faults += check_window(dialog, title)
            cancel = find(dialog, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON
                          and (n.name or "").replace("&", "") == "Cancel")
            if cancel is not None:
                press(cancel)
        return 1 if faults else 0
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

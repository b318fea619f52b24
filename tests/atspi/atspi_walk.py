#!/usr/bin/env python3
"""Starts the program on a virtual display and reads its main window, Options
and Language over the AT-SPI bus, as a screen reader would: every focusable
control that shows must have a name, and a drop-down's name says what is chosen
there, not the item chosen, while its text gives the choice. The list's first
cell says that it can be ticked and whether it is, its row header names the
file, every column header has a name; and a run started over the bus ends with
a notification a reader speaks wherever the focus is. Run inside a D-Bus session
of its own (see atspi-walk.sh)."""
import os
import subprocess
import sys
import time

import tempfile

import pyatspi
from gi.repository import Atspi, GLib

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


def states_of(node):
    states = node.getState()
    return {name for name, bit in (("checkable", pyatspi.STATE_CHECKABLE),
                                   ("checked", pyatspi.STATE_CHECKED))
            if states.contains(bit)}


def check_list(top):
    """The list holds the one file of the command line, ticked."""
    faults = 0
    table = find(top, lambda n: n.getRole() == pyatspi.ROLE_TABLE)
    if table is None:
        print("no table in the main window")
        return 1
    t = table.queryTable()
    cell = t.getAccessibleAt(0, 0)
    got = states_of(cell) if cell is not None else set()
    print("list: first cell %r, states %s" % (cell.name if cell else None, sorted(got)))
    # Qt before 6.8 tells the bus that a cell is checked, never that it can be: the
    # tick state is then in the cell's name, so an unticked row is not silent.
    if "checked" not in got:
        print("  ^ a ticked cell must be checked")
        faults += 1
    if "checkable" not in got and not (cell.name or "").endswith(", ticked"):
        print("  ^ a ticked cell must say that it is ticked (state checkable, or its name)")
        faults += 1
    header = t.getRowHeader(0)
    print("list: row header %r" % (header.name if header else None))
    if header is None or not header.name:
        print("  ^ the row has no header name")
        faults += 1
    names = [(t.getColumnHeader(c).name if t.getColumnHeader(c) else "") for c in range(t.nColumns)]
    print("list: column headers %s" % names)
    if not all(names):
        print("  ^ a column header without a name")
        faults += 1
    return faults


def check_combo_value(top):
    combo = find(top, lambda n: n.getRole() == pyatspi.ROLE_COMBO_BOX
                 and n.name == "After processing:")
    if combo is None:
        print("no drop-down 'After processing:'")
        return 1
    try:
        value = combo.queryText().getText(0, -1)
    except NotImplementedError:
        value = None
    print("drop-down 'After processing:' value %r" % value)
    if not value:
        print("  ^ the drop-down does not give its value")
        return 1
    return 0


def check_run_end(app, top):
    """Starts a run over the bus and waits for the notification of its end."""
    heard = []

    def on_event(event):
        try:
            if event.detail1 == 1 and event.source.getRole() == pyatspi.ROLE_NOTIFICATION:
                heard.append(event.source.name)
        except Exception:
            pass

    listener = Atspi.EventListener.new(on_event)
    listener.register("object:state-changed:showing")
    confirm = find(top, lambda n: n.getRole() == pyatspi.ROLE_CHECK_BOX
                   and (n.name or "").replace("&", "") == "Confirm delete")
    if confirm is not None and confirm.getState().contains(pyatspi.STATE_CHECKED):
        press(confirm)
    shred = find(top, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON
                 and (n.name or "").replace("&", "") == "Shred files")
    if shred is None:
        print("no button 'Shred files'")
        return 1
    press(shred)
    until = time.time() + 20
    context = GLib.MainContext.default()
    while time.time() < until and not any(h.startswith("Shredding") for h in heard):
        # A summary before the run is answered as a user would.
        for title in ("Summary before shredding",):
            summary = window(app, title)
            start = summary and find(summary, lambda n: n.getRole() == pyatspi.ROLE_PUSH_BUTTON
                                     and (n.name or "").replace("&", "") == "Start")
            if start:
                press(start)
        while context.iteration(False):
            pass
        time.sleep(0.1)
    listener.deregister("object:state-changed:showing")
    print("end of the run announced: %s" % heard)
    if not any(h.startswith("Shredding done.") for h in heard):
        print("  ^ no notification of the run's end")
        return 1
    return 0


def main():
    exe = sys.argv[1]
    xvfb, display = start_display()
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb",
               QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    env.pop("WAYLAND_DISPLAY", None)
    # One file of our own in the list, for its cells and for a run.
    scratch = tempfile.mkdtemp(prefix="kv-list-", dir=os.getcwd())
    listed = os.path.join(scratch, "listed.txt")
    with open(listed, "w") as f:
        f.write("shredded by the accessibility walk\n")
    program = subprocess.Popen([exe, listed], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE)
    try:
        app = find_app("kelvane", 30)
        if app is None:
            print("the program did not appear on the accessibility bus", file=sys.stderr)
            return 1
        time.sleep(1.0)  # let the window finish its first layout
        main_window = window(app, "Kelvane")
        faults = check_window(main_window, "Kelvane")
        faults += check_list(main_window)
        faults += check_combo_value(main_window)
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
        faults += check_run_end(app, window(app, "Kelvane"))
        if os.path.exists(listed):
            print("the run left the listed file")
            faults += 1
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

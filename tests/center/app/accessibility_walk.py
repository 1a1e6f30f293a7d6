"""Walks the center's window through AT-SPI as a screen reader does, and drives it with the
keyboard alone (keys sent to the X server, as a keyboard sends them).

Checks that the ribbon's commands are named buttons, that a channel's value is read out and
moves, and that the keyboard opens the calibration dialog, types a custom minimum and cancels.
Under Wayland, Top Most Window is off and says why.
Usage: accessibility_walk.py x11 X_WINDOW_ID | accessibility_walk.py wayland --focused
"""
import os
import re
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

PLATFORM = sys.argv[1]
# Keys go to the center's X window, or under Wayland to the compositor's, which has the focus.
TARGET = [] if sys.argv[2] == "--focused" else ["--window", sys.argv[2]]
VALUE = re.compile(r"^\d+ %$")


def fail(message):
    print("accessibility walk: " + message, file=sys.stderr)
    sys.exit(1)


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for index in range(node.childCount):
        yield from walk(node.getChildAtIndex(index), depth + 1)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def await_true(what, probe, seconds=10):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        found = probe()
        if found:
            return found
        time.sleep(0.2)
    fail("waited %d s for %s" % (seconds, what))


def center():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "Kestrane":
            return app
    return None


def keys(*names):
    for name in names:
        subprocess.run(["xdotool", "key", "--clearmodifiers", *TARGET, name], check=True)
        time.sleep(0.15)


def typed(text):
    subprocess.run(["xdotool", "type", "--delay", "40", text], check=True)


def focused(app):
    for node in walk(app):
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            return node
    return None


app = await_true("the center on the accessibility bus", center)

# The ribbon's commands, as a screen reader lists them: buttons with their labels.
expected = {"Refresh", "Check for Updates", "Update Updater", "Crash Recovery",
            "Secure Crash Recovery", "Enable Beta Software", "Top Most Window", "About", "Trace",
            "Your Feedback", "From Quorvane", "Capture Window"}
buttons = {node.name for node in walk(app)
           if node.getRole() in (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON,
                                         pyatspi.ROLE_CHECK_BOX)
           and showing(node)}
if not expected <= buttons or "" in buttons:
    fail("the ribbon's buttons lack %s (found %s)" % (sorted(expected - buttons), sorted(buttons)))
print("ribbon buttons: " + ", ".join(sorted(expected)))

if PLATFORM == "wayland":
    top_most = next(node for node in walk(app) if node.name == "Top Most Window" and showing(node))
    if top_most.getState().contains(pyatspi.STATE_ENABLED) or \
            "Wayland" not in (top_most.description or ""):
        fail("Top Most Window pretends to work under Wayland (%r)" % top_most.description)
    print("Top Most Window is off: " + top_most.description)


# A channel's value as the screen reader reads it, and that it moves with the pedal.
def values():
    return [node.name for node in walk(app) if VALUE.match(node.name or "")]


first = await_true("channel values in the list", values)
await_true("a channel's value to change", lambda: values() != first)
print("channel values move: %s -> %s" % (first[:4], values()[:4]))

# The keyboard alone: down the list to the first channel (the first line is its controller's),
# then Alt+C for Calibrate.
def calibrate_enabled():
    return any(showing(node) and node.name == "Calibrate" and
               node.getState().contains(pyatspi.STATE_ENABLED) for node in walk(app))


for _ in range(3):
    keys("Down")
    if calibrate_enabled():
        break
if not calibrate_enabled():
    node = focused(app)
    fail("no channel selected by the arrow keys (the focus is on %s)" %
         (node.getRoleName() + " " + repr(node.name) if node else "nothing"))

# The selected channel's value is announced as it changes, as a screen reader hears it.
announced = []


def heard(event):
    if VALUE.match(event.source.name or ""):
        announced.append(event.source.name)


pyatspi.Registry.registerEventListener(heard, "object:property-change:accessible-name")
GLib.timeout_add(3000, pyatspi.Registry.stop)
pyatspi.Registry.start()
pyatspi.Registry.deregisterEventListener(heard, "object:property-change:accessible-name")
if len(set(announced)) < 2:
    fail("the selected channel's value was not announced as it changed (heard %s)" % announced)
print("the selected channel's value is announced: %s" % announced[:4])


# Every control a keyboard user meets has a name a screen reader can say.
NAMED_ROLES = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX,
               pyatspi.ROLE_RADIO_BUTTON, pyatspi.ROLE_TEXT, pyatspi.ROLE_TREE,
               pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TABLE, pyatspi.ROLE_LIST,
               pyatspi.ROLE_PROGRESS_BAR, pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_COMBO_BOX}


def unnamed(root):
    return ["%s in %s" % (node.getRoleName(), node.parent.getRoleName() if node.parent else "-")
            for node in walk(root)
            if node.getRole() in NAMED_ROLES and showing(node) and not (node.name or "").strip()]


if unnamed(app):
    fail("controls without a name: %s" % unnamed(app))
keys("alt+c")


def calibration_dialog():
    for node in walk(app):
        if node.getRole() == pyatspi.ROLE_DIALOG and node.name == "Calibration" and showing(node):
            return node
    return None


dialog = await_true("the calibration dialog", calibration_dialog)
print("calibration dialog opened by Alt+C")
if unnamed(dialog):
    fail("controls without a name in the calibration dialog: %s" % unnamed(dialog))
keys("alt+c")  # Minimum (Custom)
custom = await_true("Minimum (Custom) to be checked", lambda: next(
    (node for node in walk(dialog) if node.getRole() == pyatspi.ROLE_RADIO_BUTTON and
     node.name == "Minimum (Custom)" and node.getState().contains(pyatspi.STATE_CHECKED)), None))
keys("Tab", "ctrl+a")
typed("1234")


def custom_minimum():
    for node in walk(dialog):
        if node.name == "Custom minimum" and node.getRole() == pyatspi.ROLE_TEXT:
            text = node.queryText()
            return text.getText(0, text.characterCount)
    return None


await_true("the typed minimum in its edit", lambda: custom_minimum() == "1234")
print("custom minimum typed: 1234 (focus on %s)" % focused(dialog).name)
keys("Escape")
await_true("the dialog to close", lambda: calibration_dialog() is None)
print("Escape cancelled the calibration")

# Capture to File from the keyboard: the window draws itself into the picture, which works where
# no program may read the screen (Wayland).
time.sleep(1.3)  # under Wayland the keyboard comes back to the window a moment after a dialog
picture = os.path.join(tempfile.mkdtemp(), "lap")
keys("alt+w", "Down", "Down", "Return")
time.sleep(1)
subprocess.run(["xdotool", "type", "--delay", "20", picture], check=True)
keys("Return")


def captured():
    try:
        with open(picture + ".bmp", "rb") as file:
            head = file.read(26)
        return head[:2] == b"BM" and int.from_bytes(head[18:22], "little") > 500
    except OSError:
        return False


await_true("the window's picture in " + picture + ".bmp", captured)
print("Capture to File wrote the window's picture")

# A new feedback written with the keyboard: Tab leaves its text and goes on (by the contact
# links) to Send.
time.sleep(1.3)
keys("alt+y")
time.sleep(1)
keys("Return")
new_feedback = await_true("the New Feedback dialog", lambda: next(
    (node for node in walk(app) if node.getRole() == pyatspi.ROLE_DIALOG and
     node.name == "New Feedback" and showing(node)), None))
typed("Clutch feels heavy")
keys("Tab")
typed("More force than before.")
walked = []
for _ in range(10):
    keys("Tab")
    node = await_true("a focused control", lambda: focused(new_feedback))
    walked.append(node.name)
    if node.name == "Send":
        break
if walked[-1] != "Send":
    fail("Tab from the feedback's text never reached Send (it went to %s)" % walked)
print("the keyboard reaches Send from the feedback's text")
keys("Escape")

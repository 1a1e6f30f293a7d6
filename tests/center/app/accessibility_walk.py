"""Walks the center's window through AT-SPI as a screen reader does, and drives it with the
keyboard alone (keys sent to the X server, as a keyboard sends them).

Checks that the ribbon's commands are named buttons, that a channel's value is read out and
moves, and that the keyboard opens the calibration dialog, types a custom minimum and cancels.
Under Wayland, Top Most Window is off and says why.
Usage: accessibility_walk.py x11 X_WINDOW_ID | accessibility_walk.py wayland --focused
"""
import re
import subprocess
import sys
import time

import pyatspi

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
keys("alt+c")


def calibration_dialog():
    for node in walk(app):
        if node.getRole() == pyatspi.ROLE_DIALOG and node.name == "Calibration" and showing(node):
            return node
    return None


dialog = await_true("the calibration dialog", calibration_dialog)
print("calibration dialog opened by Alt+C")
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

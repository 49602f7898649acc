#!/usr/bin/python3
"""Works Hestio as a screen reader user would, through the accessibility bus
only: finds the app, signs in, switches the Heater on or off from its detail
screen and reads the Home tab's power now. On every screen it visits, every
control must have a role and a name. Exits 0 when all of it held."""
import sys
import time

import pyatspi
from gi.repository import GLib

CONTROLS = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_SLIDER, pyatspi.ROLE_ENTRY,
            pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_SPIN_BUTTON,
            pyatspi.ROLE_COMBO_BOX}
heard = []


def fail(message):
    print("access client: " + message, file=sys.stderr)
    sys.exit(1)


def listen(event):
    heard.append((event.type, event.detail1, event.source_name if hasattr(event, "source_name") else ""))


def wait_for(what, description, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        # Events arrive through the default main context.
        while GLib.MainContext.default().iteration(False):
            pass
        try:
            found = what()
        except Exception:  # a node that went away while being read
            found = None
        if found:
            return found
        time.sleep(0.1)
    fail("timed out waiting for " + description)


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    yield node
    for i in range(node.childCount):
        yield from walk(node.getChildAtIndex(i), depth + 1)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Hestio":
            return app
    return None


def find(root, role, name=None, contains=None):
    for node in walk(root):
        if node.getRole() != role:
            continue
        if name is not None and node.name != name:
            continue
        if contains is not None and contains not in (node.name or ""):
            continue
        if node.getState().contains(pyatspi.STATE_SHOWING):
            return node
    return None


def audit(root, screen):
    unnamed = [f"{node.getRoleName()} at {node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)}"
               for node in walk(root)
               if node.getRole() in CONTROLS and node.getState().contains(pyatspi.STATE_SHOWING)
               and not (node.name or "").strip()]
    if unnamed:
        fail(f"{screen}: controls without a name: {unnamed}")


def press(finder, description, done):
    """Presses what `finder` finds until `done(node)` holds: an action is
    refused while something covers its object (a screen still sliding)."""
    def attempt():
        node = finder()
        if node is not None and done(node):
            return node
        if node is not None:
            node.queryAction().doAction(0)
        return None
    return wait_for(attempt, description, 30)


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def main():
    pyatspi.Registry.registerEventListener(listen, "object:state-changed:checked", "object:children-changed",
                                           "focus:", "object:state-changed:focused")
    app = wait_for(application, "the application on the bus")
    if app.getRole() != pyatspi.ROLE_APPLICATION or app.childCount < 1:
        fail("the application has no frame")
    frame = app.getChildAtIndex(0)
    if frame.getRole() != pyatspi.ROLE_FRAME:
        fail("the application's child is a " + frame.getRoleName())
    x, y, width, height = frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if (x, y, width, height) != (0, 0, 320, 480):
        fail(f"the headless window is at {(x, y, width, height)}")

    user = wait_for(lambda: find(frame, pyatspi.ROLE_ENTRY, "User name"), "the user name field")
    password = find(frame, pyatspi.ROLE_PASSWORD_TEXT, "Password")
    sign_in = find(frame, pyatspi.ROLE_PUSH_BUTTON, "Sign In")
    if not password or not sign_in:
        fail("the sign-in screen lacks its password field or its Sign In button")
    audit(frame, "sign in")
    user.queryEditableText().setTextContents("demo")
    password.queryEditableText().setTextContents("demo")
    if user.queryText().getText(0, -1) != "demo":
        fail("the user name reads " + repr(user.queryText().getText(0, -1)))
    if password.queryText().getText(0, -1) != "••••":
        fail("the password shows " + repr(password.queryText().getText(0, -1)))
    if not sign_in.queryAction().doAction(0):
        fail("Sign In refused its action")

    # Signed in: the sign-in screen has gone and the tabs are there.
    wait_for(lambda: not find(frame, pyatspi.ROLE_PUSH_BUTTON, "Sign In"), "the sign-in screen to go", 30)
    tabs = wait_for(lambda: find(frame, pyatspi.ROLE_PAGE_TAB_LIST), "the tab bar", 30)
    press(lambda: find(tabs, pyatspi.ROLE_PAGE_TAB, "Devices"), "the Devices tab",
          lambda tab: tab.getState().contains(pyatspi.STATE_SELECTED))
    heater = wait_for(lambda: find(frame, pyatspi.ROLE_LIST_ITEM, "Heater"), "the Heater row", 30)
    audit(frame, "devices")
    heater.queryAction().doAction(0)

    switch = wait_for(lambda: find(frame, pyatspi.ROLE_TOGGLE_BUTTON), "the Heater's switch", 30)
    audit(frame, "device detail")
    before = checked(switch)
    del heard[:]
    switch.queryAction().doAction(0)
    wait_for(lambda: checked(switch) != before, "the switch to turn " + ("off" if before else "on"), 15)
    wait_for(lambda: any(kind.startswith("object:state-changed:checked") for kind, _, _ in heard),
             "the checked state's event", 10)
    print(f"access client: the Heater's switch went from {'on' if before else 'off'} "
          f"to {'on' if checked(switch) else 'off'}")

    home_tab = find(frame, pyatspi.ROLE_PAGE_TAB, "Home")
    tabs.querySelection().selectChild(home_tab.getIndexInParent())
    power = wait_for(lambda: find(frame, pyatspi.ROLE_LIST_ITEM, "Power now"), "the Home tab's Power now", 30)
    reading = wait_for(lambda: "W" in (power.description or "") and power.description, "the power now figure", 30)
    audit(frame, "home")
    print("access client: Power now: " + reading)

    # The account screen, from the Home tab's bar: the app's script ends there.
    account = wait_for(lambda: find(frame, pyatspi.ROLE_PUSH_BUTTON, "Account"), "the Account button")
    account.queryAction().doAction(0)
    return 0


if __name__ == "__main__":
    sys.exit(main())

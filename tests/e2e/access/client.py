#!/usr/bin/python3
"""Works Hestio as a screen reader user would, through the accessibility bus
only: finds the app, fails to sign in and then signs in, and goes through
every screen of the guided tour (Suggestions, Home and its graphs with an
export, the account screen with a new place and the energy price, Devices,
the Heater's detail and graphs and switch, Schedule with a new schedule and
the movements, Log). On each screen it audits what a screen reader finds:
every control shown has a role fitting it and a name, every graph a name and
a description, and every alert that comes is announced with its title.

What a person does with gestures a screen reader has no way to do (moving
the phone) the app's script does (journey.txt); the two wait for each
other through what the screen shows. Exits 0 when all of it held."""
import sys
import time

import pyatspi
from gi.repository import GLib

# What works something: each must have a name.
CONTROLS = {pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_SLIDER, pyatspi.ROLE_ENTRY,
            pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_LIST_ITEM, pyatspi.ROLE_PAGE_TAB, pyatspi.ROLE_SPIN_BUTTON,
            pyatspi.ROLE_COMBO_BOX}
# Besides controls, what may carry an action: a title bar whose double tap
# opens a screen.
ACTIONABLE = CONTROLS | {pyatspi.ROLE_TOOL_BAR}
# What may carry a value: controls that adjust, lists (how far scrolled),
# graphs (their zoom).
ADJUSTABLE = {pyatspi.ROLE_SLIDER, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_LIST, pyatspi.ROLE_IMAGE}
heard = []
announced = []
audited = []


shown_frame = []


def fail(message):
    print("access client: " + message, file=sys.stderr)
    # What a screen reader would have found then, for the one who reads this.
    try:
        for node in walk(shown_frame[0]) if shown_frame else []:
            if showing(node):
                print(f"  {node.getRoleName()} {node.name!r} {node.description!r}", file=sys.stderr)
    except Exception:
        pass
    sys.exit(1)


def listen(event):
    if event.type.startswith("object:announcement"):
        try:
            announced.append((event.source.getRole(), event.source.name, str(event.any_data)))
        except Exception:  # the alert went before it was read
            announced.append((None, "", str(event.any_data)))
        return
    heard.append(event.type)


def pump():
    # Events arrive through the default main context.
    while GLib.MainContext.default().iteration(False):
        pass


def wait_for(what, description, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        pump()
        try:
            found = what()
        except Exception:  # a node that went away while being read
            found = None
        if found:
            return found
        time.sleep(0.05)
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


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def find(root, role, name=None, contains=None):
    for node in walk(root):
        if node.getRole() != role:
            continue
        if name is not None and node.name != name:
            continue
        if contains is not None and contains not in (node.name or ""):
            continue
        if showing(node):
            return node
    return None


def has(node, query):
    try:
        getattr(node, query)()
        return True
    except NotImplementedError:
        return False


def audit(root, screen):
    """Every control shown has a name; whatever acts or adjusts has a role
    that says so; graphs have a name and a description; alerts a title."""
    problems = []
    for node in walk(root):
        if not showing(node):
            continue
        role, name = node.getRole(), (node.name or "").strip()

        def where():
            return f"{node.getRoleName()} {name!r} at {node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)}"
        if role in CONTROLS | {pyatspi.ROLE_ALERT} and not name:
            problems.append("no name: " + where())
        if role not in ACTIONABLE and has(node, "queryAction") and node.queryAction().nActions > 0:
            problems.append("acts but reads as text: " + where())
        if role not in ADJUSTABLE and has(node, "queryValue"):
            problems.append("adjusts but has no role for it: " + where())
        if role == pyatspi.ROLE_IMAGE and has(node, "queryValue") and not (name and node.description):
            problems.append("a graph without a name or description: " + where())
    if problems:
        fail(f"{screen}: " + "; ".join(problems))
    audited.append(screen)


def settled(root):
    """Nothing shown is loading."""
    return not any(node.getRole() == pyatspi.ROLE_PROGRESS_BAR and node.getState().contains(pyatspi.STATE_BUSY)
                   and showing(node) for node in walk(root))


def screen(root, name, ready, timeout=30):
    """Waits until the screen is `ready` and nothing loads, then audits it."""
    found = wait_for(lambda: ready() and settled(root) and ready(), "the " + name + " screen", timeout)
    audit(root, name)
    return found


def press(finder, description, done=None, timeout=30):
    """Presses what `finder` finds until `done()` holds (once, without it):
    an action is refused while something covers its object (a screen still
    sliding)."""
    def attempt():
        if done is not None and done():
            return True
        node = finder()
        if node is None:
            return None
        if done is None:
            return node if node.queryAction().doAction(0) else None
        node.queryAction().doAction(0)
        return None
    return wait_for(attempt, description, timeout)


def button(root, name):
    return lambda: find(root, pyatspi.ROLE_PUSH_BUTTON, name)


def alert(root, title, buttons, answer, timeout=30):
    """Waits for the alert with `title` to be announced, audits it with its
    buttons and answers it with the button `answer`."""
    shown = wait_for(lambda: find(root, pyatspi.ROLE_ALERT, title), "the alert " + repr(title), timeout)
    wait_for(lambda: any(role == pyatspi.ROLE_ALERT and name == title and text.startswith(title)
                         for role, name, text in announced), "the announcement of " + repr(title), 10)
    for label in buttons:
        if not find(shown, pyatspi.ROLE_PUSH_BUTTON, label):
            fail(f"the alert {title!r} has no button {label!r}")
    audit(root, "alert " + title)
    press(button(shown, answer), f"{answer} in {title!r}")
    wait_for(lambda: not find(root, pyatspi.ROLE_ALERT, title), f"the alert {title!r} to go", 15)


def scroll(root, where=None):
    """Scrolls the largest list shown to `where` (None: its end), as a
    screen reader moves it: by its value."""
    lists = [node for node in walk(root) if node.getRole() == pyatspi.ROLE_LIST and showing(node)]
    if not lists:
        fail("no list to scroll")
    table = max(lists, key=lambda node: node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)[3])
    value = table.queryValue()
    value.currentValue = value.maximumValue if where is None else where
    return table


def scroll_to_end(root):
    return scroll(root)


def tab(frame, name):
    tabs = wait_for(lambda: find(frame, pyatspi.ROLE_PAGE_TAB_LIST), "the tab bar", 30)
    press(lambda: find(tabs, pyatspi.ROLE_PAGE_TAB, name), "the " + name + " tab",
          lambda: find(tabs, pyatspi.ROLE_PAGE_TAB, name).getState().contains(pyatspi.STATE_SELECTED))


def the_graph(frame):
    """The graph shown: an image whose zoom is its value."""
    for node in walk(frame):
        if node.getRole() == pyatspi.ROLE_IMAGE and showing(node) and has(node, "queryValue"):
            return node
    return None


def graph(frame, opener, name):
    """Opens a graph and audits it (the audit wants its name and its
    description, the day's summary line)."""
    press(opener, "the " + name + " graph button")
    def drawn():
        shown = find(frame, pyatspi.ROLE_PUSH_BUTTON, "Done") and the_graph(frame)
        return shown if shown and "loading" not in (shown.description or "") else None
    shown = screen(frame, name + " graph", drawn, 60)
    print(f"access client: {name} graph: {shown.name}: {shown.description}")


def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)


def sign_in(frame):
    user = wait_for(lambda: find(frame, pyatspi.ROLE_ENTRY, "User name"), "the user name field")
    password = find(frame, pyatspi.ROLE_PASSWORD_TEXT, "Password")
    sign_in_button = find(frame, pyatspi.ROLE_PUSH_BUTTON, "Sign In")
    if not password or not sign_in_button:
        fail("the sign-in screen lacks its password field or its Sign In button")
    audit(frame, "sign in")
    user.queryEditableText().setTextContents("demo")
    if user.queryText().getText(0, -1) != "demo":
        fail("the user name reads " + repr(user.queryText().getText(0, -1)))
    # A wrong password first: the refusal is announced.
    password.queryEditableText().setTextContents("nope")
    if not sign_in_button.queryAction().doAction(0):
        fail("Sign In refused its action")
    alert(frame, "Authentication Failed", ["OK"], "OK")
    # The refused sign-in brought a fresh sign-in screen.
    user = wait_for(lambda: find(frame, pyatspi.ROLE_ENTRY, "User name"), "the user name field again")
    password = wait_for(lambda: find(frame, pyatspi.ROLE_PASSWORD_TEXT, "Password"), "the password field again")
    user.queryEditableText().setTextContents("demo")
    password.queryEditableText().setTextContents("demo")
    if password.queryText().getText(0, -1) != "••••":
        fail("the password shows " + repr(password.queryText().getText(0, -1)))
    press(lambda: find(frame, pyatspi.ROLE_PUSH_BUTTON, "Sign In"), "Sign In")
    wait_for(lambda: not find(frame, pyatspi.ROLE_PUSH_BUTTON, "Sign In"), "the sign-in screen to go", 30)


def home(frame):
    tab(frame, "Home")
    power = screen(frame, "home now", lambda: find(frame, pyatspi.ROLE_LIST_ITEM, "Power now"))
    reading = wait_for(lambda: "W" in (power.description or "") and power.description, "the power now figure", 30)
    print("access client: Power now: " + reading)
    scroll_to_end(frame)
    screen(frame, "home, scrolled", button(frame, "Battery Percentage"))
    graph(frame, button(frame, "Battery Percentage"), "Battery Percentage")
    press(button(frame, "Done"), "Done")
    graph(frame, button(frame, "Energy Used"), "Energy Used")
    press(button(frame, "Export"), "Export")
    alert(frame, "Export Saved", ["OK"], "OK", 60)
    press(button(frame, "Done"), "Done")


def account(frame):
    """The account screen from Home's bar: a place made where the phone is
    (the app's script then walks out of it), the energy price screen."""
    press(button(frame, "Account"), "the Account button")
    screen(frame, "account", lambda: find(frame, pyatspi.ROLE_LIST_ITEM, contains="Energy price"))
    scroll_to_end(frame)
    add = wait_for(button(frame, "Add Place"), "the Add Place button")
    audit(frame, "account, scrolled")
    add.queryAction().doAction(0)
    asking = wait_for(lambda: find(frame, pyatspi.ROLE_ALERT, "Set Location Name"), "the place's name alert")
    find(asking, pyatspi.ROLE_ENTRY).queryEditableText().setTextContents("Home")
    alert(frame, "Set Location Name", ["Cancel", "OK"], "OK")
    # The app's script walks out of the new place: the first walk out asks.
    alert(frame, "Is This Home?", ["Not Home", "It's Home"], "Not Home", 60)
    scroll(frame, 0)
    press(lambda: find(frame, pyatspi.ROLE_LIST_ITEM, contains="Energy price"), "the energy price row")
    screen(frame, "energy price", lambda: find(frame, pyatspi.ROLE_PUSH_BUTTON, "Save"))
    press(button(frame, "Back"), "the back button")
    wait_for(lambda: find(frame, pyatspi.ROLE_LIST_ITEM, contains="Energy price"), "the account screen again")
    press(button(frame, "Back"), "the back button to Home")
    wait_for(lambda: find(frame, pyatspi.ROLE_TOOL_BAR, "Home"), "the Home tab again")


def devices(frame):
    tab(frame, "Devices")
    heater = screen(frame, "devices", lambda: find(frame, pyatspi.ROLE_LIST_ITEM, "Heater"))
    heater.queryAction().doAction(0)
    screen(frame, "device detail", lambda: find(frame, pyatspi.ROLE_TOGGLE_BUTTON))
    graph(frame, button(frame, "Power Draw"), "Power Draw")
    press(button(frame, "Done"), "Done")
    graph(frame, button(frame, "Energy Used"), "Energy Used")
    press(button(frame, "Done"), "Done")
    switch = wait_for(lambda: find(frame, pyatspi.ROLE_TOGGLE_BUTTON), "the Heater's switch")
    before = checked(switch)
    del heard[:]
    press(lambda: find(frame, pyatspi.ROLE_TOGGLE_BUTTON), "the Heater's switch")
    wait_for(lambda: checked(switch) != before, "the switch to turn " + ("off" if before else "on"), 15)
    wait_for(lambda: any(kind.startswith("object:state-changed:checked") for kind in heard),
             "the checked state's event", 10)
    print(f"access client: the Heater's switch went from {'on' if before else 'off'} "
          f"to {'on' if checked(switch) else 'off'}")
    press(button(frame, "Back"), "the back button")


def schedule(frame):
    tab(frame, "Schedule")
    screen(frame, "schedule", lambda: find(frame, pyatspi.ROLE_PUSH_BUTTON, "Add Schedule"))
    press(button(frame, "Add Schedule"), "the Add Schedule button")
    screen(frame, "new schedule", lambda: find(frame, pyatspi.ROLE_PUSH_BUTTON, "Save"))
    press(lambda: find(frame, pyatspi.ROLE_LIST_ITEM, contains="Leave At"), "the Leave At row")
    screen(frame, "new schedule, leave time", lambda: find(frame, pyatspi.ROLE_SPIN_BUTTON))
    # Save sits where "+" was, pressed at once: two presses, not a double tap.
    press(button(frame, "Save"), "Save")
    screen(frame, "schedule with a saved schedule",
           lambda: not find(frame, pyatspi.ROLE_PUSH_BUTTON, "Save")
           and find(frame, pyatspi.ROLE_TOOL_BAR, "Schedule") and find(frame, pyatspi.ROLE_LIST_ITEM))
    # The movements: a double tap on the title bar, the bar's action.
    # A tap while the screen still slides back does nothing: tried again.
    press(lambda: find(frame, pyatspi.ROLE_TOOL_BAR, "Schedule"), "the schedule's title bar",
          lambda: find(frame, pyatspi.ROLE_TOOL_BAR, "Movements"))
    screen(frame, "movements", lambda: find(frame, pyatspi.ROLE_TOOL_BAR, "Movements"))
    press(button(frame, "Schedule"), "the back button")


def log(frame):
    tab(frame, "Log")
    field = screen(frame, "log", lambda: find(frame, pyatspi.ROLE_ENTRY))
    field.queryEditableText().setTextContents("Read out by a screen reader")
    press(button(frame, "Post"), "Post")
    # Picking a past activity asks before posting it again.
    posted = wait_for(lambda: find(frame, pyatspi.ROLE_LIST_ITEM, "Read out by a screen reader"), "the posted activity")
    posted.queryAction().doAction(0)
    alert(frame, "Are you sure?", ["Cancel", "Yes"], "Cancel")
    # The last step: back to the Home tab, where the app's script ends.
    print("access client: audited " + ", ".join(audited), flush=True)
    if not find(frame, pyatspi.ROLE_PAGE_TAB, "Home").queryAction().doAction(0):
        fail("the Home tab refused its action")


def main():
    pyatspi.Registry.registerEventListener(listen, "object:state-changed:checked", "object:children-changed",
                                           "focus:", "object:state-changed:focused", "object:announcement")
    app = wait_for(application, "the application on the bus")
    if app.getRole() != pyatspi.ROLE_APPLICATION or app.childCount < 1:
        fail("the application has no frame")
    frame = app.getChildAtIndex(0)
    if frame.getRole() != pyatspi.ROLE_FRAME:
        fail("the application's child is a " + frame.getRoleName())
    shown_frame.append(frame)
    x, y, width, height = frame.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    if (x, y, width, height) != (0, 0, 320, 480):
        fail(f"the headless window is at {(x, y, width, height)}")

    sign_in(frame)
    screen(frame, "suggestions", lambda: find(frame, pyatspi.ROLE_PAGE_TAB, "Suggestions")
           .getState().contains(pyatspi.STATE_SELECTED))
    home(frame)
    account(frame)
    devices(frame)
    schedule(frame)
    log(frame)
    return 0


if __name__ == "__main__":
    sys.exit(main())

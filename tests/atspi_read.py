#!/usr/bin/python3
"""Reads the running lanchat through AT-SPI, as a screen reader would: the
history's text must hold the arrived message, and the controls their French
names. Prints one line per failed check; exits 1 if any failed."""
import sys
import time

import pyatspi

NICK, MESSAGE = sys.argv[1], sys.argv[2]
NAMES = {
    "pseudo": "the nickname box",
    "Message": "the message box",
    "Historique des messages": "the history",
    "Police des messages reçus": "the first tool button",
    "Police du message à envoyer": "the second tool button",
    "Couleur": "the third tool button",
}


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        if app is not None and app.name == "lanchat":
            return app
    return None


def objects(node):
    yield node
    for child in node:
        if child is not None:
            yield from objects(child)


def text_of(node):
    try:
        text = node.queryText()
    except NotImplementedError:
        return None
    return text.getText(0, text.characterCount)


def main():
    # The program and the datagram take a moment to show up; wait for them.
    expected = f"{NICK} a dit :\n{MESSAGE}"
    app, named, history = None, {}, None
    for _ in range(200):
        app = application()
        if app is not None:
            named = {node.name: node for node in objects(app) if node.name in NAMES}
            history = named.get("Historique des messages")
            if history is not None and expected in (text_of(history) or ""):
                break
        time.sleep(0.1)

    failures = []
    if app is None:
        print("FAIL: no lanchat application on the accessibility bus")
        return 1
    for name, what in NAMES.items():
        if name not in named:
            failures.append(f"{what} is not named {name!r}")
    if history is not None:
        content = text_of(history)
        if content is None:
            failures.append("the history has no text interface")
        elif expected not in content:
            failures.append(f"the history reads {content!r}, not {expected!r}")
        states = history.getState()
        for state, label in ((pyatspi.STATE_EDITABLE, "editable"),
                             (pyatspi.STATE_MULTI_LINE, "multi-line")):
            if not states.contains(state):
                failures.append(f"the history is not {label}")
    nickname = named.get("pseudo")
    if nickname is not None and nickname.getRole() not in (pyatspi.ROLE_ENTRY, pyatspi.ROLE_TEXT):
        failures.append(f"'pseudo' names a {nickname.getRoleName()}, not the nickname box")
    for failure in failures:
        print("FAIL: " + failure)
    if not failures:
        print("history and names read through AT-SPI")
    return 1 if failures else 0


sys.exit(main())

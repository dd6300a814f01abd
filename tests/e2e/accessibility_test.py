#!/usr/bin/env python3
"""The real kestrova window as a screen reader sees it: its AT-SPI tree, on a real X server.

Run inside a D-Bus session of its own (dbus-run-session), where the accessibility bus starts
on demand; the window registers with it because QT_LINUX_ACCESSIBILITY_ALWAYS_ON is set.

    accessibility_test.py CASE --kestrova PATH --cli PATH

controls  every control of the main window has a Japanese name and a description; the
          top level is a frame, the text box is named, the ruler is a slider "桁数" whose
          value is the column count, and the undo button is named for what it does
buttons   a question box of the running program offers Qt's standard buttons in Japanese

Exit status 77 (skipped) where AT-SPI cannot be read: no pyatspi or no accessibility bus.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_test import MAIL, check, parse_arguments, run_case, wait_for  # noqa: E402

SKIP = 77

try:
    import pyatspi
except ImportError as missing:
    pyatspi = None
    PYATSPI_MISSING = str(missing)


def walk(node, depth=0):
    yield node, depth
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def application(proc):
    """The program's accessible application, once it has registered."""
    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == proc.pid:
                    return app
            except Exception:  # an application that went away meanwhile
                continue
        return None
    return wait_for(find, "the window on the accessibility bus", timeout=30)


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def describe(node, depth):
    return f"{'  ' * depth}{node.getRoleName()} {node.name!r} ({node.description!r})"


def tree_text(root):
    return "\n".join(describe(node, depth) for node, depth in walk(root))


def has_japanese(text):
    return any(ord(c) > 0x2e7f for c in text)


# The roles of the controls a user works with; the containers between them are checked for
# their names where the window gives them one.
CONTROL_ROLES = {"push button", "text", "slider", "label", "entry", "paragraph"}


def start(desk, args, argv_extra=()):
    env = dict(desk.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    proc = desk.spawn([args.kestrova, *argv_extra], env=env)
    window = desk.kestrova_window(proc)
    return proc, window


def case_controls(desk, args):
    desk.set_clipboard(MAIL)
    proc, window = start(desk, args)
    app = application(proc)
    frames = wait_for(lambda: [app.getChildAtIndex(i) for i in range(app.childCount)],
                      "the window's accessible top level")
    main = next((f for f in frames if f.name.startswith("Kestrova")), None)
    check(main is not None, f"no top level named Kestrova:\n{tree_text(app)}")
    check(main.getRoleName() == "frame", f"the top level is a {main.getRoleName()!r}")
    check(main.description != "", "the top level has no description")

    # The tree fills in as Qt answers; wait until the text box is there.
    def text_box():
        return next((n for n, _ in walk(main) if n.getRoleName() == "text"), None)
    box = wait_for(text_box, "the text box in the accessibility tree")
    check(box.name == "本文", f"the text box is named {box.name!r}")

    problems = []
    seen_buttons = {}
    ruler = None
    for node, depth in walk(main):
        role = node.getRoleName()
        if not showing(node) or role not in CONTROL_ROLES:
            continue
        if role == "slider":
            ruler = node
        if role == "push button":
            seen_buttons[node.name] = node.description
        if not node.name or not has_japanese(node.name):
            problems.append("no Japanese name: " + describe(node, depth))
        elif not node.description:
            problems.append("no description: " + describe(node, depth))
        if len(node.name) > 40:
            problems.append("a name too long to listen to: " + describe(node, depth)[:120])
    check(not problems, "\n".join(problems) + "\n" + tree_text(main))
    for name in ("読み直す", "引用を外す", "引用する", "そろえる", "終了", "設定", "桁数のつまみ"):
        check(name in seen_buttons, f"no button named {name!r}: {sorted(seen_buttons)}")

    check(ruler is not None, f"no slider for the ruler:\n{tree_text(main)}")
    check(ruler.name == "桁数", f"the ruler is named {ruler.name!r}")
    value = ruler.queryValue()
    check(value.currentValue == 70, f"the ruler's value is {value.currentValue}")

    # The align button says what it does now: once the mail is aligned, it undoes.
    desk.keys(window, "alt+s")

    def undo_button():
        return next((n for n, _ in walk(main)
                     if n.getRoleName() == "push button" and n.name == "元に戻す"), None)
    wait_for(undo_button, "the align button to be named 元に戻す")


def case_buttons(desk, args):
    mail = desk.path("mail.txt")
    with open(mail, "w", encoding="utf-8") as f:
        f.write("本文\n")
    proc, window = start(desk, args, ["-f", mail])
    app = application(proc)
    # A change, then 終了: the window asks whether to save, with Qt's standard buttons.
    desk.keys(window, "End", "a", "alt+x")

    def question_buttons():
        for i in range(app.childCount):
            top = app.getChildAtIndex(i)
            if top is None or top.name.startswith("Kestrova  -"):
                continue
            buttons = [n.name for n, _ in walk(top) if n.getRoleName() == "push button"]
            if len(buttons) >= 3:
                return buttons
        return None
    buttons = wait_for(question_buttons, "the question box on the accessibility bus")
    check(len(buttons) == 3, f"the question offers {buttons}")
    for name in buttons:
        check(has_japanese(name), f"a standard button is not in Japanese: {buttons}")


CASES = {"controls": case_controls, "buttons": case_buttons}


def main():
    args = parse_arguments(CASES)
    if pyatspi is None:
        print(f"SKIP {args.case}: pyatspi cannot be imported ({PYATSPI_MISSING}); "
              "Debian: python3-pyatspi")
        return SKIP
    if not os.environ.get("DBUS_SESSION_BUS_ADDRESS"):
        print(f"SKIP {args.case}: no D-Bus session (run under dbus-run-session)")
        return SKIP
    return run_case(args.case, CASES[args.case], args)


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""End-to-end tests of the real kestrova window on a real X server.

Each case starts its own Xvfb display with openbox, so that keyboard focus and window
activation behave as on a desktop, drives the window with xdotool and reads the X clipboard
with xclip. The expected re-flow comes from kestrova-cli, which runs the same engine with the
same defaults as a fresh settings file.

    e2e_test.py CASE --kestrova PATH --cli PATH
"""

import argparse
import ctypes
import ctypes.util
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

# Long enough to be broken at 70 columns; a quoted line keeps its prefix on every piece.
MAIL = (
    "> 昨日お送りした資料について、いくつか確認したいことがあります。お手数ですが、"
    "来週の会議までにご返事をいただけますでしょうか。\n"
    "> よろしくお願いします。\n"
    "\n"
    "資料を拝見しました。全体としてよくまとまっていると思いますが、第三章の数字"
    "（2026年度の見込み）は、最新の集計に合わせて直したほうがよいでしょう。\n"
    "半角ｶﾀｶﾅもそのまま残ります。\n"
)


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(predicate, what, timeout=15.0, interval=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    raise Failure(f"timed out waiting for {what}")


class Desktop:
    """An Xvfb display with a window manager, and a private home for the program."""

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="kestrova-e2e-")
        self.procs = []
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24",
             "-dpi", "96", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()
        check(number, "Xvfb did not start")
        self.display = ":" + number
        self.env = dict(os.environ)
        for key in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XAUTHORITY"):
            self.env.pop(key, None)
        self.env.update({
            "DISPLAY": self.display,
            "HOME": self.path("home"),
            "XDG_CONFIG_HOME": self.path("config"),
            "XDG_RUNTIME_DIR": self.path("runtime"),
            "TMP": self.path("tmp"),
            "LC_ALL": "C.UTF-8",
        })
        for folder in ("home", "config", "runtime", "tmp"):
            os.makedirs(self.path(folder), mode=0o700, exist_ok=True)
        self.start_window_manager()

    def start_window_manager(self, tries=3):
        # A loaded machine can take long over openbox's start, and now and then it dies before
        # managing the screen: wait generously, and start it again when it has gone.
        for attempt in range(1, tries + 1):
            self.wm = self.spawn(["openbox", "--sm-disable"])
            try:
                wait_for(lambda: self.wm_ready() or self.wm.poll() is not None,
                         "the window manager", timeout=90)
            except Failure:
                if attempt == tries:
                    raise
                self.wm.kill()
                self.wm.wait()
                continue
            if self.wm.poll() is None:
                return
        raise Failure(f"openbox ended {tries} times before managing the screen")

    def wm_ready(self):
        # openbox sets _NET_SUPPORTING_WM_CHECK on the root window once it manages the screen.
        out = self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check_rc=False)
        return "window id" in out

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def spawn(self, argv, env=None):
        # Output goes to a file: a pipe nobody reads would stall a chatty program.
        log = open(self.path(f"log-{len(self.procs)}"), "w+b")
        proc = subprocess.Popen(argv, env=env or self.env, stdout=log, stderr=subprocess.STDOUT)
        proc.log = log
        self.procs.append(proc)
        return proc

    def run(self, argv, input_bytes=None, check_rc=True, env=None):
        result = subprocess.run(argv, env=env or self.env, input=input_bytes,
                                capture_output=True, timeout=30)
        if check_rc and result.returncode != 0:
            raise Failure(f"{' '.join(argv)} failed: {result.stderr.decode(errors='replace')}")
        return result.stdout.decode(errors="replace")

    def set_clipboard(self, text):
        # xclip stays behind to serve the selection until another program takes it.
        proc = subprocess.Popen(["xclip", "-selection", "clipboard", "-in"], env=self.env,
                                stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        proc.stdin.write(text.encode("utf-8"))
        proc.stdin.close()
        self.procs.append(proc)
        wait_for(lambda: self.clipboard() == text, "the clipboard to hold the text")

    def clipboard(self):
        result = subprocess.run(["xclip", "-selection", "clipboard", "-out"], env=self.env,
                                capture_output=True, timeout=10)
        return result.stdout.decode("utf-8") if result.returncode == 0 else None

    def kestrova_window(self, proc):
        """The program's main window, once it is mapped."""
        def find():
            out = self.run(["xdotool", "search", "--onlyvisible", "--pid", str(proc.pid),
                            "--name", "^Kestrova"], check_rc=False).split()
            return out[0] if out else None
        # Generous: the machine may be busy with other builds while the window starts.
        return wait_for(find, "the Kestrova window", timeout=60)

    def title(self, window):
        return self.run(["xdotool", "getwindowname", window]).strip()

    def activate(self, window):
        self.run(["xdotool", "windowactivate", "--sync", window])
        wait_for(lambda: self.run(["xdotool", "getactivewindow"],
                                  check_rc=False).strip() == window,
                 "the window to become active")

    def keys(self, window, *keys):
        self.activate(window)
        self.run(["xdotool", "key", "--clearmodifiers", *keys])

    def close(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    proc.kill()
        self.xvfb.terminate()
        self.xvfb.wait(timeout=10)
        shutil.rmtree(self.work, ignore_errors=True)


def aligned(cli, text):
    """What the re-flow with the defaults makes of text, as UTF-8 with LF line ends."""
    result = subprocess.run([cli, "align"], input=text.encode("utf-8"), capture_output=True,
                            timeout=30)
    check(result.returncode == 0, f"kestrova-cli align failed: {result.stderr!r}")
    return result.stdout.decode("utf-8")


def wait_exit(proc, what):
    try:
        return proc.wait(timeout=15)
    except subprocess.TimeoutExpired:
        raise Failure(f"{what} did not end")


def case_clipboard(desk, args):
    """A copied mail, kestrova started, Alt+S: the clipboard holds the re-flowed mail."""
    expected = aligned(args.cli, MAIL)
    check(expected != MAIL, "the sample mail needs re-flowing for this test to mean anything")
    desk.set_clipboard(MAIL)
    proc = desk.spawn([args.kestrova])
    window = desk.kestrova_window(proc)
    check(desk.title(window) == "Kestrova", f"caption {desk.title(window)!r}")
    # Start-up reads the clipboard and writes nothing back.
    check(desk.clipboard() == MAIL, "start-up changed the clipboard")
    desk.keys(window, "alt+s")
    got = wait_for(lambda: desk.clipboard() if desk.clipboard() != MAIL else None,
                   "the re-flowed text on the clipboard")
    check(got == expected, f"clipboard after Alt+S:\n{got!r}\nexpected:\n{expected!r}")
    # Alt+U now undoes: the original is back on the clipboard.
    desk.keys(window, "alt+u")
    wait_for(lambda: desk.clipboard() == MAIL, "the original text back after Alt+U")
    desk.keys(window, "alt+x")
    check(wait_exit(proc, "kestrova after Alt+X") == 0, "kestrova exited with an error")
    ini = os.path.join(desk.env["XDG_CONFIG_HOME"], "kestrova", "Kestrova.ini")
    check(os.path.isfile(ini), "no settings file was written at exit")
    check(os.stat(ini).st_mode & 0o777 == 0o600, "the settings file is not private")


def case_plugin(desk, args):
    """kestrova -f FILE on a UTF-8 file with LF ends, Alt+S, Ctrl+S: the file is re-flowed,
    still UTF-8 with LF ends, and the clipboard was never touched."""
    mail = desk.path("home", "draft mail.txt")
    with open(mail, "wb") as f:
        f.write(MAIL.encode("utf-8"))
    desk.set_clipboard("clipboard text")
    proc = desk.spawn([args.kestrova, "-F", f'"{mail}"'])
    window = desk.kestrova_window(proc)
    check(desk.title(window) == "Kestrova  - Plugin Mode", f"caption {desk.title(window)!r}")
    desk.keys(window, "alt+s")
    expected = aligned(args.cli, MAIL).encode("utf-8")

    # An access key presses its button a moment later, as a click would; nothing outside the
    # window shows when that has happened, so save until the saved file is the re-flowed one.
    def saved():
        desk.keys(window, "ctrl+s")
        time.sleep(0.2)
        return open(mail, "rb").read() == expected
    wait_for(saved, "the file to hold the re-flowed text")
    data = open(mail, "rb").read()
    check(b"\r" not in data, "the file got CR line ends")
    check(desk.clipboard() == "clipboard text", "plug-in mode wrote the clipboard")
    # Saved: leaving asks nothing.
    desk.keys(window, "alt+x")
    check(wait_exit(proc, "kestrova after Alt+X") == 0, "kestrova exited with an error")
    check(open(mail, "rb").read() == expected, "the file changed at exit")


def case_second_copy(desk, args):
    """A second kestrova while one runs brings the first forward and writes no settings."""
    desk.set_clipboard("first")
    first = desk.spawn([args.kestrova])
    window = desk.kestrova_window(first)
    desk.run(["xdotool", "windowminimize", "--sync", window])
    wait_for(lambda: "IsViewable" not in desk.run(["xwininfo", "-id", window]),
             "the window to be minimised")

    second_config = desk.path("second-config")
    os.makedirs(second_config, mode=0o700)
    env = dict(desk.env, XDG_CONFIG_HOME=second_config)
    second = desk.spawn([args.kestrova], env=env)
    check(wait_exit(second, "the second copy") == 0, "the second copy failed")
    check(os.listdir(second_config) == [], "the second copy wrote settings")
    wait_for(lambda: "IsViewable" in desk.run(["xwininfo", "-id", window]),
             "the first window to come back")
    wait_for(lambda: desk.run(["xdotool", "getactivewindow"], check_rc=False).strip() == window,
             "the first window to become active")
    check(first.poll() is None, "the first copy ended")
    check(len(desk.run(["xdotool", "search", "--onlyvisible", "--name", "^Kestrova"],
                       check_rc=False).split()) == 1, "more than one Kestrova window")
    desk.keys(window, "alt+x")
    check(wait_exit(first, "the first copy") == 0, "the first copy exited with an error")


def case_hand_over(desk, args):
    """kestrova FILE while a copy runs: the running copy opens FILE as if named at its start
    (caption, text on the clipboard), and the second copy ends."""
    desk.set_clipboard("first")
    first = desk.spawn([args.kestrova])
    window = desk.kestrova_window(first)
    mail = desk.path("home", "handed over.txt")
    with open(mail, "wb") as f:
        f.write(MAIL.encode("utf-8"))
    # Named relative to the second copy's own folder, which the first does not share.
    second = subprocess.Popen([args.kestrova, "handed over.txt"], env=desk.env,
                              cwd=desk.path("home"), stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    check(wait_exit(second, "the second copy") == 0, "the second copy failed")
    wait_for(lambda: desk.title(window) == f"Kestrova  - {mail}  UTF-8:LF",
             "the first window to show the file")
    wait_for(lambda: desk.clipboard() == MAIL, "the file's text on the clipboard")
    check(len(desk.run(["xdotool", "search", "--onlyvisible", "--name", "^Kestrova"],
                       check_rc=False).split()) == 1, "more than one Kestrova window")
    desk.keys(window, "alt+x")
    check(wait_exit(first, "the first copy") == 0, "the first copy exited with an error")


def open_settings(desk, args):
    """Starts kestrova on MAIL and opens "動作設定"; returns the process, the main window, a
    function that finds the dialog (None once it has closed) and the dialog."""
    desk.set_clipboard(MAIL)
    proc = desk.spawn([args.kestrova])
    window = desk.kestrova_window(proc)
    desk.activate(window)
    # The text box has the focus; "設定" is the sixth stop of the tab order after it.
    desk.run(["xdotool", "key", "--clearmodifiers"] + ["Tab"] * 6 + ["space"])

    def dialog():
        out = desk.run(["xdotool", "search", "--onlyvisible", "--name", "^動作設定$"],
                       check_rc=False).split()
        return out[0] if out else None
    return proc, window, dialog, wait_for(dialog, "the settings dialog")


def case_settings(desk, args):
    """"設定", Columns 40 and other quote characters, "戻る": Alt+S re-flows at 40 columns with
    them, and the settings file holds both after exit."""
    quotes = ">|"
    expected = subprocess.run(
        [args.cli, "align", "--columns", "40", "--quote-chars", quotes],
        input=MAIL.encode("utf-8"), capture_output=True, timeout=30).stdout.decode("utf-8")
    check(expected != aligned(args.cli, MAIL), "40 columns must re-flow differently from 70")
    proc, window, dialog, setup = open_settings(desk, args)
    desk.activate(setup)

    def click(x, y):
        desk.run(["xdotool", "mousemove", "--window", setup, str(x), str(y), "click", "1"])

    # The page buttons stand along the top; the second is "文揃え", whose first two boxes
    # are the column count and the quote characters.
    click(130, 20)
    time.sleep(0.3)
    for y, value in ((60, "40"), (88, quotes)):
        click(149, y)
        desk.run(["xdotool", "key", "--clearmodifiers", "ctrl+a", "BackSpace"])
        desk.run(["xdotool", "type", "--delay", "20", value])
    desk.run(["xdotool", "key", "--clearmodifiers", "Return"])
    wait_for(lambda: dialog() is None, "the settings dialog to close")

    desk.keys(window, "alt+s")
    got = wait_for(lambda: desk.clipboard() if desk.clipboard() != MAIL else None,
                   "the re-flowed text on the clipboard")
    check(got == expected, f"clipboard after Alt+S:\n{got!r}\nexpected:\n{expected!r}")
    desk.keys(window, "alt+x")
    check(wait_exit(proc, "kestrova after Alt+X") == 0, "kestrova exited with an error")
    ini = open(os.path.join(desk.env["XDG_CONFIG_HOME"], "kestrova", "Kestrova.ini"), "rb").read()
    check(b"\r\nColumns=40\r\n" in ini, f"Columns not saved: {ini!r}")
    check(b"\r\nInyofu=" + quotes.encode("cp932") + b"\r\n" in ini, f"Inyofu not saved: {ini!r}")


def case_dialog_frame(desk, args):
    """"設定" under openbox: the dialog asks for no minimise or maximise box, is transient for
    the main window, and is back on screen at once, main window and all, when it is minimised
    anyway (openbox offers to minimise whatever a window asks)."""
    proc, window, dialog, setup = open_settings(desk, args)

    def prop(of, name):
        return desk.run(["xprop", "-id", of, name], check_rc=False)
    # flags, functions, decorations: with the functions flag (1), minimise is 8, maximise 16.
    hints = prop(setup, "_MOTIF_WM_HINTS").split("=")[-1].split(",")
    flags, functions = int(hints[0], 16), int(hints[1], 16)
    check(flags & 1 and not functions & (8 | 16), f"the dialog asks to be minimisable: {hints}")
    transient = prop(setup, "WM_TRANSIENT_FOR").split("#")[-1].strip()
    check(int(transient, 16) == int(window), f"not transient for the main window: {transient}")

    desk.run(["xdotool", "windowminimize", setup])
    wait_for(lambda: dialog() is not None and "HIDDEN" not in prop(setup, "_NET_WM_STATE"),
             "the dialog back on screen", timeout=30)
    wait_for(lambda: "HIDDEN" not in prop(window, "_NET_WM_STATE"),
             "the main window back on screen", timeout=30)
    desk.keys(setup, "Escape")
    wait_for(lambda: dialog() is None, "the settings dialog to close")


def case_git_commit(desk, args):
    """git commit with GIT_EDITOR="kestrova -f": Japanese pasted into git's ASCII template,
    Alt+S, Ctrl+S, Alt+X. The commit message is the re-flowed text alone, as UTF-8: git's
    comment lines (here with core.commentChar ";") got no leftover joined onto them."""
    repo = desk.path("home", "repo")
    os.makedirs(repo)
    env = dict(desk.env, GIT_CONFIG_NOSYSTEM="1",
               GIT_EDITOR=f"{shlex.quote(args.kestrova)} -f")
    for argv in (["git", "init", "-q", "-b", "main"],
                 ["git", "config", "user.name", "Erika"],
                 ["git", "config", "user.email", "erika@example.org"],
                 ["git", "config", "core.commentChar", ";"]):
        subprocess.run(argv, cwd=repo, env=env, check=True, capture_output=True, timeout=30)
    with open(os.path.join(repo, "notes.txt"), "w") as f:
        f.write("notes\n")
    subprocess.run(["git", "add", "notes.txt"], cwd=repo, env=env, check=True, timeout=30)

    # No line end after the last line: it fills the template's empty first line, as a paste
    # into an editor does, and its leftover then stands just above git's comment lines.
    pasted = ("資料の修正\n\n第三章の数字を最新の集計に合わせて直しました。"
              "ご確認のほど、どうぞよろしくお願いいたします。お願いします。")
    message = aligned(args.cli, pasted)
    check(message.count("\n") > 3, "the sample message needs re-flowing")
    desk.set_clipboard(pasted)
    commit = subprocess.Popen(["git", "commit", "-q"], cwd=repo, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    desk.procs.append(commit)  # ended with the desktop should the test fail

    def find():
        out = desk.run(["xdotool", "search", "--onlyvisible", "--name", "^Kestrova"],
                       check_rc=False).split()
        return out[0] if out else None
    window = wait_for(find, "the Kestrova window that git started")
    check(desk.title(window) == "Kestrova  - Plugin Mode", f"caption {desk.title(window)!r}")
    desk.keys(window, "ctrl+Home", "ctrl+v")
    desk.keys(window, "alt+s")
    edited = os.path.join(repo, ".git", "COMMIT_EDITMSG")

    def saved():
        desk.keys(window, "ctrl+s")
        time.sleep(0.2)
        return open(edited, "rb").read().startswith(message.encode("utf-8"))
    wait_for(saved, "the re-flowed message saved above git's lines")
    data = open(edited, "rb").read().decode("utf-8")
    check("\n; Please enter the commit message" in data, f"git's lines changed:\n{data}")
    desk.keys(window, "alt+x")
    try:
        out, err = commit.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        raise Failure("git commit did not end")
    check(commit.returncode == 0, f"git commit failed: {err.decode(errors='replace')}")
    check(b"UTF-8" not in err, f"git warned: {err.decode(errors='replace')}")
    logged = subprocess.run(["git", "log", "-1", "--format=%B"], cwd=repo, env=env,
                            capture_output=True, timeout=30).stdout.decode("utf-8")
    check(logged.rstrip("\n") == message.rstrip("\n"),
          f"commit message:\n{logged!r}\nexpected:\n{message!r}")


UNANSWERED_OWNER = r"""
import sys
from Xlib import X, Xatom, display
from Xlib.protocol import event
d = display.Display()
w = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
clipboard, targets = d.intern_atom("CLIPBOARD"), d.intern_atom("TARGETS")
offered = [d.intern_atom(n) for n in ("UTF8_STRING", "text/plain;charset=utf-8")]
w.set_selection_owner(clipboard, X.CurrentTime)
d.flush()
print(w.id, flush=True)
while True:
    e = d.next_event()
    # The list of what is offered is answered; the text itself never comes.
    if e.type == X.SelectionRequest and e.target == targets:
        e.requestor.change_property(e.property, Xatom.ATOM, 32, [targets] + offered)
        e.requestor.send_event(event.SelectionNotify(
            time=e.time, requestor=e.requestor, selection=e.selection, target=e.target,
            property=e.property))
        d.flush()
"""


class Skip(Exception):
    pass


def wayland_tools():
    """Why the Wayland cases cannot run here, or None."""
    for tool in ("weston", "wl-copy", "wl-paste"):
        if not shutil.which(tool):
            return f"{tool} is not installed"
    plugins = subprocess.run(["find", "/usr/lib", "-name", "libqwayland-generic.so"],
                             capture_output=True, timeout=60).stdout
    if not plugins.strip():
        return "Qt's Wayland platform plugin (qt6-wayland) is not installed"
    return None


class Weston:
    """weston nested in the test's X display (x11 backend, desktop shell): its seat takes the
    keys xdotool types into its window and gives the keyboard focus to the newest window."""

    def __init__(self, desk):
        why = wayland_tools()
        if why:
            raise Skip(why)
        self.desk = desk
        runtime = desk.env["XDG_RUNTIME_DIR"]
        self.proc = desk.spawn(["weston", "--backend=x11-backend.so", "--socket=kestrova-e2e",
                                "--idle-time=0", "--width=1000", "--height=700"])
        wait_for(lambda: os.path.exists(os.path.join(runtime, "kestrova-e2e")),
                 "weston's socket")
        self.env = {k: v for k, v in desk.env.items() if k != "DISPLAY"}
        self.env.update(WAYLAND_DISPLAY="kestrova-e2e", QT_QPA_PLATFORM="wayland")

        def output_window():
            self.proc.log.seek(0)
            found = re.search(rb"x11 output .*window id (\d+)", self.proc.log.read())
            return found.group(1).decode() if found else None
        self.window = wait_for(output_window, "weston's window")

    def copy(self, text):
        subprocess.run(["wl-copy"], env=self.env, input=text.encode("utf-8"), check=True,
                       timeout=30)
        wait_for(lambda: self.paste() == text, "the Wayland clipboard to hold the text")

    def paste(self):
        # wl-paste, too, needs the keyboard focus for a moment to read the clipboard.
        result = subprocess.run(["wl-paste", "--no-newline"], env=self.env, capture_output=True,
                                timeout=30)
        return result.stdout.decode("utf-8") if result.returncode == 0 else None

    def picture(self):
        """A digest of what weston's window shows, to see a window appear in it."""
        script = ("import hashlib, sys\nfrom Xlib import X, display\nd = display.Display()\n"
                  "w = d.create_resource_object('window', int(sys.argv[1]))\n"
                  "g = w.get_geometry()\n"
                  "print(hashlib.sha1(w.get_image(0, 0, g.width, g.height, X.ZPixmap,"
                  " 0xffffffff).data).hexdigest())")
        return self.desk.run([XLIB_PYTHON, "-c", script, self.window])

    def keys(self, *keys):
        self.desk.activate(self.window)
        self.desk.run(["xdotool", "key", "--clearmodifiers", *keys])


def case_wayland_clipboard(desk, args):
    """Under a native Wayland session the window reads the clipboard once it has the focus:
    "start, then Alt+S" puts the re-flowed mail on the clipboard, never an empty text."""
    weston = Weston(desk)
    expected = aligned(args.cli, MAIL)
    weston.copy(MAIL)
    # The desktop is still: wl-paste's own window has gone.
    before = wait_for(lambda: (lambda a, b: a if a == b else None)(
        weston.picture(), (time.sleep(0.5), weston.picture())[1]), "weston's desktop to settle")
    proc = desk.spawn([args.kestrova], env=weston.env)
    # Shown, the window has the keyboard focus, which wl-paste below takes for a moment and
    # gives back; a wl-paste before that would keep the focus from the window for good.
    wait_for(lambda: weston.picture() != before, "the window in weston", timeout=60)

    # Press Alt+S until the clipboard changes: once the window has aligned the text, Alt+S
    # answers no button and does nothing.
    def aligned_on_clipboard():
        check(proc.poll() is None, "kestrova ended")
        weston.keys("alt+s")
        time.sleep(0.3)
        got = weston.paste()
        check(got in (MAIL, expected), f"the clipboard holds {got!r}")
        return got == expected
    try:
        wait_for(aligned_on_clipboard, "the re-flowed mail on the Wayland clipboard", timeout=60)
    except Failure:
        raise Failure(f"the clipboard holds {weston.paste()!r}, expected {expected!r}")

    # The focus comes back from wl-paste a moment after it has ended.
    def ended():
        weston.keys("alt+x")
        try:
            return proc.wait(timeout=2) is not None
        except subprocess.TimeoutExpired:
            return False
    wait_for(ended, "kestrova to end after Alt+X", timeout=60)
    check(proc.returncode == 0, "kestrova exited with an error")


# Debian's python3-xlib belongs to the system's interpreter, which may not be the one running.
XLIB_PYTHON = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable


def case_unanswered_clipboard(desk, args):
    """The clipboard's owner lists text but never hands it over: the window says so in its
    caption, and Alt+S leaves the clipboard to its owner instead of putting an empty text on it;
    once the user types, Alt+S writes the clipboard again."""
    owner = subprocess.Popen([XLIB_PYTHON, "-c", UNANSWERED_OWNER], env=desk.env,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    desk.procs.append(owner)
    owner_window = int(owner.stdout.readline())

    def clipboard_owner():
        return int(desk.run([XLIB_PYTHON, "-c",
                             "from Xlib import display\nd = display.Display()\n"
                             "print(d.get_selection_owner(d.intern_atom('CLIPBOARD')).id)"]))
    check(clipboard_owner() == owner_window, "the stand-in did not take the clipboard")
    proc = desk.spawn([args.kestrova])
    window = desk.kestrova_window(proc)
    wait_for(lambda: desk.title(window) == "Kestrova  - クリップボードを読めませんでした",
             "the caption to say the clipboard could not be read", timeout=30)
    desk.keys(window, "alt+s")
    desk.keys(window, "alt+greater")
    # Both commands have run once the window answers the next key: typing shows in the text.
    desk.keys(window, "x")
    wait_for(lambda: desk.title(window) == "Kestrova", "the caption to follow the typing")
    check(clipboard_owner() == owner_window, "a command replaced the clipboard")
    desk.keys(window, "alt+s")
    wait_for(lambda: desk.clipboard() is not None and "x" in desk.clipboard(),
             "the typed text on the clipboard after Alt+S")
    desk.keys(window, "alt+x")
    check(wait_exit(proc, "kestrova after Alt+X") == 0, "kestrova exited with an error")


SIGNED = "PGP の署名テストです。\n日本語の本文、二行目。\n"
PASS_PHRASE = "e2e pass \"phrase\" %x%"


class GnupgHome:
    """A throw-away GnuPG home with one key that has a pass phrase; its agent ends with it."""

    def __init__(self, desk):
        self.desk = desk
        self.path = tempfile.mkdtemp(prefix="kg.", dir="/tmp")
        with open(os.path.join(self.path, "gpg-agent.conf"), "w") as f:
            f.write("default-cache-ttl 0\nmax-cache-ttl 0\n")
        self.gpg(["--passphrase-fd", "0", "--pinentry-mode", "loopback", "--quick-gen-key",
                  "Erika <erika@example.org>", "ed25519", "sign", "never"],
                 PASS_PHRASE.encode())

    def gpg(self, args, input_bytes=b""):
        return self.run(["gpg", "--homedir", self.path, "--batch", "--no-tty", *args],
                        input_bytes)

    def run(self, argv, input_bytes=b""):
        return subprocess.run(argv, input=input_bytes, capture_output=True, timeout=60)

    def close(self):
        subprocess.run(["gpgconf", "--homedir", self.path, "--kill", "all"],
                       capture_output=True, timeout=30)
        shutil.rmtree(self.path, ignore_errors=True)


def click_pgp_button(desk, window, left_twips):
    """Clicks the button of the PGP strip that starts left_twips from the strip's left edge."""
    geometry = desk.run(["xdotool", "getwindowgeometry", "--shell", window])
    size = dict(line.split("=", 1) for line in geometry.split())
    height = int(size["HEIGHT"])
    # The strip, 435 twips high, is the bottom of the window; its buttons are 855 x 375 twips
    # at its top. The test display has 96 dots per inch.
    x = round((left_twips + 855 / 2) * 96 / 1440)
    y = height - round(435 * 96 / 1440) + round(375 / 2 * 96 / 1440)
    desk.activate(window)
    desk.run(["xdotool", "mousemove", "--window", window, str(x), str(y), "click", "1"])


def case_pgp_sign(desk, args):
    """PgpFlg on, "署名" with the pass phrase typed into the dialog: the clipboard holds a
    clear-signed text that gpg accepts, as UTF-8 (JisConvMode 0) and as ISO-2022-JP (7)."""
    home = GnupgHome(desk)
    try:
        for jis in (0, 7):
            write_pgp_settings(desk, home, jis)
            desk.set_clipboard(SIGNED)
            proc = desk.spawn([args.kestrova])
            window = desk.kestrova_window(proc)
            click_pgp_button(desk, window, 2040)

            def dialog_with(title):
                return new_window(desk, proc, {window}, title)
            asked = wait_for(lambda: dialog_with("ﾊﾟｽﾌﾚｰｽﾞを入力して下さい"),
                             "the pass-phrase dialog")
            enter_pass_phrase(desk, proc, asked)
            shown = wait_for(lambda: dialog_with("結果表示"), "the result viewer", timeout=60)
            desk.keys(shown, "Escape")
            got = wait_for(lambda: desk.clipboard() if desk.clipboard() != SIGNED else None,
                           "the signed text on the clipboard", timeout=60)
            check(got.startswith("-----BEGIN PGP SIGNED MESSAGE-----"), f"clipboard: {got!r}")
            check("日本語の本文" in got, f"clipboard: {got!r}")
            carried = got.encode("iso2022_jp") if jis else got.encode("utf-8")
            verified = home.gpg(["--verify"], carried)
            check(verified.returncode == 0,
                  f"gpg --verify (JisConvMode {jis}): {verified.stderr.decode(errors='replace')}")
            if jis:
                check(home.gpg(["--verify"], got.encode("utf-8")).returncode != 0,
                      "the UTF-8 form verified although ISO-2022-JP was signed")
            desk.keys(window, "alt+x")
            check(wait_exit(proc, "kestrova after Alt+X") == 0, "kestrova exited with an error")
    finally:
        home.close()


def write_pgp_settings(desk, home, jis=0):
    """A settings file with PGP on, the 2.6.3i path over home's key ring and its key."""
    config = os.path.join(desk.env["XDG_CONFIG_HOME"], "kestrova")
    os.makedirs(config, mode=0o700, exist_ok=True)
    with open(os.path.join(config, "Kestrova.ini"), "wb") as f:
        f.write(("[Settings]\r\nPgpFlg=1\r\nPgpVer=0\r\nJisConvMode=%d\r\n"
                 "PgpPath=%s\r\nUserID=erika@example.org\r\n" % (jis, home.path)).encode())


def windows_of(desk, proc):
    """The visible windows of proc, with their captions."""
    out = desk.run(["xdotool", "search", "--onlyvisible", "--pid", str(proc.pid), "--name", "."],
                   check_rc=False).split()
    found = {}
    for w in out:
        # A window may close between the search and the question: it is gone, not an error.
        title = desk.run(["xdotool", "getwindowname", w], check_rc=False)
        if title:
            found[w] = title.strip()
    return found


def new_window(desk, proc, known, title):
    """A visible window of proc captioned title that is none of known, or None."""
    # xdotool's --name does not match Japanese titles: compare them here.
    found = [w for w, t in windows_of(desk, proc).items() if w not in known and t == title]
    return found[0] if found else None


def enter_pass_phrase(desk, proc, dialog, tries=3):
    """Types PASS_PHRASE into the pass-phrase dialog and confirms it. A display busy with other
    tests now and then loses a key: while the dialog stays, its box is emptied and the whole
    phrase typed again, and the failure names the windows when it never goes."""
    for attempt in range(1, tries + 1):
        if attempt > 1 and dialog not in windows_of(desk, proc):
            return  # it took the phrase, only later than waited for
        desk.activate(dialog)
        if attempt > 1:
            print(f"note: the pass-phrase dialog was still open; typing again ({attempt})")
            desk.run(["xdotool", "key", "--clearmodifiers", "ctrl+a", "BackSpace"])
        desk.run(["xdotool", "type", "--delay", "20", PASS_PHRASE])
        # A Shift still held after the phrase's last character would make Return no OK.
        desk.run(["xdotool", "key", "--clearmodifiers", "Return"])
        try:
            wait_for(lambda: dialog not in windows_of(desk, proc),
                     "the pass-phrase dialog to close", timeout=20)
            return
        except Failure:
            pass
    raise Failure(f"the pass-phrase dialog did not close after {tries} tries; windows: "
                  f"{windows_of(desk, proc)}")


def descendants(pid):
    """The processes below pid, as "pid state command" strings, for a failure's message."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except OSError:
            continue  # it ended meanwhile
        name_end = stat.rindex(")")
        state, parent = stat[name_end + 2:].split()[:2]
        children.setdefault(int(parent), []).append(
            f"{entry} {state} {stat[stat.index('(') + 1:name_end]}")
    found, queue = [], [pid]
    while queue:
        for child in children.get(queue.pop(), []):
            found.append(child)
            queue.append(int(child.split()[0]))
    return found


def leave(desk, window, proc, what):
    """Alt+X until the program ends (the exit button waits for a PGP run to wind up after its
    report); the exit status."""
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline:
        try:
            desk.keys(window, "alt+x")
        except Failure:
            pass  # it may have ended meanwhile, window and all
        try:
            return proc.wait(timeout=3)
        except subprocess.TimeoutExpired:
            continue
    raise Failure(f"kestrova did not end on Alt+X after {what}; its windows: "
                  f"{windows_of(desk, proc)}")


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _XEvent(ctypes.Union):
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


def close_by_window_manager(desk, window):
    """Asks the window manager to close window (_NET_CLOSE_WINDOW, as a task bar does); it sends
    the window WM_DELETE_WINDOW, whichever window has the focus meanwhile."""
    x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                               ctypes.POINTER(_XEvent)]
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(desk.display.encode())
    check(display, f"cannot open {desk.display}")
    try:
        event = _XEvent()
        event.client.type = 33  # ClientMessage
        event.client.window = int(window)
        event.client.message_type = x11.XInternAtom(display, b"_NET_CLOSE_WINDOW", 0)
        event.client.format = 32
        event.client.data[1] = 2  # the request comes from a pager, as the user's own
        redirect_and_notify = (1 << 20) | (1 << 19)
        check(x11.XSendEvent(display, x11.XDefaultRootWindow(display), 0, redirect_and_notify,
                             ctypes.byref(event)), "XSendEvent failed")
        x11.XFlush(display)
    finally:
        x11.XCloseDisplay(display)


def case_pgp_close(desk, args):
    """The window closed by the window manager while gpg is busy signing: "中止して終了しますか？"
    answered Yes, the program ends without showing a report that nobody asked for."""
    home = GnupgHome(desk)
    agent = None
    try:
        write_pgp_settings(desk, home)
        desk.set_clipboard(SIGNED)
        # gpg waits for its agent, stopped here, as long as it takes: a run that does not end.
        said = home.run(["gpg-connect-agent", "--homedir", home.path, "getinfo pid", "/bye"])
        agent = int(said.stdout.split()[1])
        os.kill(agent, signal.SIGSTOP)
        proc = desk.spawn([args.kestrova])
        window = desk.kestrova_window(proc)
        click_pgp_button(desk, window, 2040)
        asked = wait_for(lambda: new_window(desk, proc, {window}, "ﾊﾟｽﾌﾚｰｽﾞを入力して下さい"),
                         "the pass-phrase dialog", timeout=60)
        enter_pass_phrase(desk, proc, asked)
        try:
            progress = wait_for(lambda: new_window(desk, proc, {window, asked}, "Kestrova"),
                                "the progress window of the waiting run", timeout=60)
        except Failure as failure:
            raise Failure(f"{failure}; its windows: {windows_of(desk, proc)}; its processes: "
                          f"{descendants(proc.pid)}") from None
        close_by_window_manager(desk, window)
        question = wait_for(lambda: new_window(desk, proc, {window, asked, progress}, "Kestrova"),
                            "the question whether to stop and leave", timeout=60)
        desk.keys(question, "y")

        seen = set()

        def ended():
            seen.update(windows_of(desk, proc).values())
            return proc.poll() is not None
        try:
            wait_for(ended, "kestrova to end after stopping the run", timeout=60, interval=0.2)
        except Failure as failure:
            raise Failure(f"{failure}; its windows meanwhile: {sorted(seen)}") from None
        check("結果表示" not in seen, "a report was shown after the user chose to leave")
        check(proc.returncode == 0, f"kestrova exited with {proc.returncode}")
    finally:
        if agent:
            os.kill(agent, signal.SIGCONT)
        home.close()


def case_pgp_check_batch(desk, args):
    """"復号化" with no pass phrase stored: a text that holds no encrypted message asks for none
    and its batch, the file kestrova-command reads, holds none; an encrypted message asks, and
    its batch carries what was typed."""
    home = GnupgHome(desk)
    try:
        write_pgp_settings(desk, home)
        # The program in the installed layout, where the interpreter it runs is this shell
        # script: it keeps a copy of the batch it is handed, then runs the real one on it.
        program = desk.path("bin", "kestrova")
        tap = desk.path("lib", "kestrova", "kestrova-command")
        seen_batch = desk.path("batch")
        for folder in (program, tap):
            os.makedirs(os.path.dirname(folder), exist_ok=True)
        shutil.copy(args.kestrova, program)
        real = os.path.join(os.path.dirname(args.kestrova), "kestrova-command")
        with open(tap, "w") as f:
            f.write('#!/bin/sh\nfor a; do batch=$a; done\n'
                    f'cp "$batch" {shlex.quote(seen_batch)}\nexec {shlex.quote(real)} "$@"\n')
        os.chmod(tap, 0o755)
        loopback = ["--pinentry-mode", "loopback", "--passphrase-fd", "0"]
        clear_signed = home.gpg([*loopback, "--clearsign"],
                                PASS_PHRASE.encode() + b"\n" + SIGNED.encode()).stdout
        encrypted = home.gpg([*loopback, "--symmetric", "--armor"],
                             PASS_PHRASE.encode() + b"\n" + SIGNED.encode()).stdout
        check(clear_signed and encrypted, "gpg made no sample texts")
        for name, text, asks in (("a plain text", SIGNED, False),
                                 ("a clear-signed text", clear_signed.decode(), False),
                                 ("an encrypted message", encrypted.decode(), True)):
            if os.path.exists(seen_batch):
                os.unlink(seen_batch)
            desk.set_clipboard(text)
            proc = desk.spawn([program])
            window = desk.kestrova_window(proc)
            click_pgp_button(desk, window, 1080)
            prompt = "ﾊﾟｽﾌﾚｰｽﾞを入力して下さい"
            titles = set()
            if asks:
                asked = wait_for(lambda: new_window(desk, proc, {window}, prompt),
                                 f"the pass-phrase dialog for {name}", timeout=60)
                titles.add(prompt)
                enter_pass_phrase(desk, proc, asked)

            def shown():
                found = windows_of(desk, proc)
                titles.update(found.values())
                return [w for w, title in found.items() if title == "結果表示"]
            viewer = wait_for(shown, f"the report of {name}", timeout=60)[0]
            check(os.path.exists(seen_batch), f"no batch ran for {name}")
            batch = open(seen_batch, "rb").read()
            check((prompt in titles) == asks, f"{name}: {'no' if asks else 'a'} pass-phrase dialog")
            check((b" -z" in batch) == asks and (b"e2e pass" in batch) == asks,
                  f"{name}: the batch {'lacks' if asks else 'holds'} a pass phrase: {batch!r}")
            desk.keys(viewer, "Escape")
            wait_for(lambda: viewer not in windows_of(desk, proc), f"the report of {name} to close")
            check(leave(desk, window, proc, name) == 0, "kestrova exited with an error")
    finally:
        home.close()


def case_no_display(args):
    """Without a display: --help and --version answer and end with 0; anything else ends with
    one line on standard error and status 2, never Qt's abort, and touches no file."""
    work = tempfile.mkdtemp(prefix="kestrova-nodisplay-")
    try:
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        env.update({"HOME": work, "XDG_CONFIG_HOME": os.path.join(work, "config"),
                    "XDG_RUNTIME_DIR": work, "LC_ALL": "C.UTF-8"})
        mail = os.path.join(work, "mail.txt")
        with open(mail, "wb") as f:
            f.write(MAIL.encode("utf-8"))

        def run(argv, **extra):
            return subprocess.run([args.kestrova, *argv], env=dict(env, **extra),
                                  capture_output=True, timeout=60)
        for option, starts in (("--help", b"Usage: kestrova"), ("--version", b"kestrova 1.7")):
            r = run([option])
            check(r.returncode == 0, f"{option}: status {r.returncode}, {r.stderr!r}")
            check(r.stdout.startswith(starts), f"{option} printed {r.stdout!r}")
            check(r.stderr == b"", f"{option} complained: {r.stderr!r}")
        # A display that is named but not there: Qt itself finds out, and would abort.
        missing = next(n for n in range(4242, 4300)
                       if not os.path.exists(f"/tmp/.X11-unix/X{n}"))
        for argv, extra in (([], {}), (["-f", mail], {}), ([mail], {}),
                            ([], {"DISPLAY": f":{missing}"}),
                            (["-f", mail], {"DISPLAY": f":{missing}"})):
            r = run(argv, **extra)
            what = f"kestrova {' '.join(argv)} with {extra or 'no display'}"
            check(r.returncode == 2, f"{what}: status {r.returncode}, {r.stderr!r}")
            check(r.stdout == b"", f"{what} printed {r.stdout!r}")
            check(r.stderr.startswith(b"kestrova: ") and r.stderr.count(b"\n") == 1,
                  f"{what} said {r.stderr!r}")
        check(open(mail, "rb").read() == MAIL.encode("utf-8"), "the file was changed")
        check(not os.path.exists(os.path.join(work, "config")), "settings were written")
    finally:
        shutil.rmtree(work, ignore_errors=True)


# Cases that run without a desktop of their own.
PLAIN_CASES = {
    "no-display": case_no_display,
}

CASES = {
    "clipboard": case_clipboard,
    "plugin": case_plugin,
    "second-copy": case_second_copy,
    "hand-over": case_hand_over,
    "settings": case_settings,
    "dialog-frame": case_dialog_frame,
    "pgp-sign": case_pgp_sign,
    "pgp-close": case_pgp_close,
    "pgp-check-batch": case_pgp_check_batch,
    "git-commit": case_git_commit,
    "unanswered-clipboard": case_unanswered_clipboard,
    "wayland-clipboard": case_wayland_clipboard,
}


def run_case(name, case, args):
    """Runs case on a desktop of its own (a plain case, without one); the exit status, with the
    programs' output when the case fails, 77 when it cannot run here."""
    if name in PLAIN_CASES:
        try:
            case(args)
        except Failure as failure:
            print(f"FAIL {name}: {failure}", file=sys.stderr)
            return 1
        print(f"PASS {name}")
        return 0
    desk = Desktop()
    try:
        case(desk, args)
    except Skip as skip:
        print(f"SKIP {name}: {skip}")
        return 77
    except Failure as failure:
        print(f"FAIL {name}: {failure}", file=sys.stderr)
        for proc in desk.procs:
            if getattr(proc, "log", None):
                proc.log.seek(0)
                out = proc.log.read().decode(errors="replace").strip()
                if out:
                    print(f"--- output of {proc.args[0]}:\n{out}", file=sys.stderr)
        return 1
    finally:
        desk.close()
    print(f"PASS {name}")
    return 0


def parse_arguments(cases):
    """CASE --kestrova PATH --cli PATH, the case one of cases."""
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(cases))
    parser.add_argument("--kestrova", required=True)
    parser.add_argument("--cli", required=True)
    return parser.parse_args()


def main():
    cases = {**CASES, **PLAIN_CASES}
    args = parse_arguments(cases)
    return run_case(args.case, cases[args.case], args)


if __name__ == "__main__":
    sys.exit(main())

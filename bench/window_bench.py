#!/usr/bin/python3
"""Measures the kestrova window on a real X server; writes its section of the report.

Usage: window_bench.py BUILD_DIR CORPUS_DIR REPORT

- Start-up: from starting the program to the X server mapping its window, with a 32 KB text
  on the clipboard (the window is shown only once that text is in the text box).
- Alt+S: from the key press, sent through XTEST, to the program taking the clipboard with the
  re-flowed text, seen through XFIXES. The clipboard is then read and compared with what
  kestrova-cli makes of the same text, so that the figure is for the real work.
- Memory: resident set of the running window holding the text, before and after Alt+S.

Runs on its own Xvfb display without a window manager, so that the map is the program's own
and not a window manager's decision. Needs Debian's python3-xlib, hence /usr/bin/python3.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from Xlib import X, XK, display as xdisplay
from Xlib.ext import xfixes, xtest

STARTS = 15
PRESSES = 15
TEXT_BYTES = 32 * 1000  # in Shift_JIS, under the clipboard's 32767-byte limit


class Screen:
    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="kestrova-bench-")
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x800x24", "-dpi", "96",
             "-nolisten", "tcp"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            self.name = ":" + pipe.readline().strip()
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XAUTHORITY")}
        self.env.update({"DISPLAY": self.name, "LC_ALL": "C.UTF-8"})
        for folder in ("HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TMP"):
            path = os.path.join(self.work, folder.lower())
            os.makedirs(path, mode=0o700)
            self.env[folder] = path
        self.x = xdisplay.Display(self.name)
        self.root = self.x.screen().root
        self.root.change_attributes(event_mask=X.SubstructureNotifyMask)
        self.clipboard_atom = self.x.intern_atom("CLIPBOARD")
        self.pid_atom = self.x.intern_atom("_NET_WM_PID")
        self.x.xfixes_query_version()
        self.x.xfixes_select_selection_input(self.root, self.clipboard_atom,
                                             xfixes.XFixesSetSelectionOwnerNotifyMask)
        self.x.sync()
        self.owner_changed = self.x.extension_event.SetSelectionOwnerNotify  # (type, sub-code)
        self.holder = None

    def set_clipboard(self, data):
        if self.holder:
            self.holder.kill()
            self.holder.wait()
        self.holder = subprocess.Popen(["xclip", "-selection", "clipboard", "-in"],
                                       env=self.env, stdin=subprocess.PIPE,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.holder.stdin.write(data)
        self.holder.stdin.close()
        self.wait_event(self.is_owner_change)

    def is_owner_change(self, event):
        return (event.type, getattr(event, "sub_code", None)) == self.owner_changed

    def clipboard(self):
        return subprocess.run(["xclip", "-selection", "clipboard", "-out"], env=self.env,
                              capture_output=True, timeout=10, check=True).stdout

    def wait_event(self, wanted, timeout=20.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            while self.x.pending_events():
                event = self.x.next_event()
                if wanted(event):
                    return time.perf_counter(), event
            time.sleep(0.0005)
        raise SystemExit("timed out waiting for an X event")

    def pid_of(self, window):
        try:
            prop = window.get_full_property(self.pid_atom, X.AnyPropertyType)
        except Exception:  # the window may be gone already
            return None
        return prop.value[0] if prop else None

    def start(self, program):
        """Starts the program; returns it, its window and the seconds to the map."""
        began = time.perf_counter()
        proc = subprocess.Popen([program], env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        mapped, event = self.wait_event(
            lambda e: e.type == X.MapNotify and self.pid_of(e.window) == proc.pid)
        return proc, event.window, mapped - began

    def press(self, window, *names):
        window.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.x.sync()
        while self.x.pending_events():  # nothing left over from the last press counts
            self.x.next_event()
        codes = [self.x.keysym_to_keycode(XK.string_to_keysym(n)) for n in names]
        began = time.perf_counter()
        for code in codes:
            xtest.fake_input(self.x, X.KeyPress, code)
        for code in reversed(codes):
            xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.sync()
        written, _ = self.wait_event(
            self.is_owner_change)
        return written - began

    def close(self):
        if self.holder:
            self.holder.kill()
        self.xvfb.terminate()
        self.xvfb.wait(timeout=10)
        shutil.rmtree(self.work, ignore_errors=True)


def stop(proc):
    proc.terminate()
    proc.wait(timeout=10)


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        status = f.read()
    return int(re.search(r"VmRSS:\s+(\d+)", status).group(1)) / 1024


def sample_text(corpus):
    """The first lines of the corpus that fit in TEXT_BYTES of Shift_JIS, with LF ends."""
    lines, size = [], 0
    with open(os.path.join(corpus, "prose-utf8.txt"), encoding="utf-8", newline="") as f:
        for line in f:
            line = line.rstrip("\r\n") + "\n"
            cost = len(line.encode("cp932", errors="replace")) + 1  # CR LF in the box
            if size + cost > TEXT_BYTES:
                break
            lines.append(line)
            size += cost
    return "".join(lines), size


def summary(values, unit_scale=1000.0):
    return (statistics.median(values) * unit_scale, min(values) * unit_scale,
            max(values) * unit_scale)


def main():
    build, corpus, report = sys.argv[1], sys.argv[2], sys.argv[3]
    program = os.path.join(build, "bin/kestrova")
    cli = os.path.join(build, "bin/kestrova-cli")
    text, sjis_bytes = sample_text(corpus)
    data = text.encode("utf-8")
    expected = subprocess.run([cli, "align"], input=data, capture_output=True,
                              check=True).stdout
    if expected == data:
        raise SystemExit("the sample needs re-flowing for the Alt+S figure to mean anything")

    screen = Screen()
    try:
        screen.set_clipboard(data)
        starts = []
        for _ in range(STARTS):
            proc, _, seconds = screen.start(program)
            starts.append(seconds)
            stop(proc)

        proc, window, _ = screen.start(program)
        time.sleep(1.0)  # let it settle before the memory is read
        rss_loaded = rss_mb(proc.pid)
        aligns = []
        for i in range(PRESSES):
            aligns.append(screen.press(window, "Alt_L", "s"))
            if i == 0:
                got = screen.clipboard()
                if got != expected:
                    raise SystemExit("Alt+S left something other than the re-flowed text")
            screen.press(window, "Alt_L", "u")  # undo: the original text again
        if screen.clipboard() != data:
            raise SystemExit("Alt+U did not put the original text back")
        rss_after = rss_mb(proc.pid)
        stop(proc)
    finally:
        screen.close()

    start_ms = summary(starts)
    align_ms = summary(aligns)
    section = (
        "## The window\n\n"
        "`bench/window_bench.py`: the release build of `kestrova` on its own Xvfb display "
        "(1280×800, 96 DPI, no window manager), with a text of %d Shift_JIS bytes "
        "(the corpus's first %d lines) on the clipboard.\n\n"
        "- Start-up is timed from starting the process to the X server mapping its window; "
        "the window is shown only after the clipboard text is in its text box. %d starts, "
        "each a new process ended before the next.\n"
        "- Alt+S is timed from the key press, sent through XTEST, to the program taking the "
        "clipboard, as XFIXES reports it; the first result was read back and equals "
        "`kestrova-cli align` of the same text. Each Alt+S was followed by Alt+U, so every "
        "press re-flowed the same text; %d presses. Qt hands the clipboard's bytes to a "
        "reader when it asks, so that conversion is not in the figure.\n"
        "- Memory is the resident set (VmRSS) of the running window holding the text.\n\n"
        "| measure | median | min | max | target |\n"
        "|---|---|---|---|---|\n"
        "| start-up to the window shown | %.0f ms | %.0f ms | %.0f ms | ≤ 300 ms (%s) |\n"
        "| Alt+S to the clipboard written | %.1f ms | %.1f ms | %.1f ms | ≤ 50 ms (%s) |\n"
        "| resident set, text loaded | %.1f MB | | | < 80 MB (%s) |\n"
        "| resident set, after the presses | %.1f MB | | | < 80 MB (%s) |\n"
    ) % (sjis_bytes, text.count("\n"), STARTS, PRESSES,
         *start_ms, "met" if start_ms[0] <= 300 else "missed",
         *align_ms, "met" if align_ms[0] <= 50 else "missed",
         rss_loaded, "met" if rss_loaded < 80 else "missed",
         rss_after, "met" if rss_after < 80 else "missed")

    with open(report, encoding="utf-8") as f:
        old = f.read()
    # Replace this section if an earlier run wrote it; it always comes last.
    at = old.find("## The window\n")
    kept = old[:at] if at >= 0 else old.rstrip("\n") + "\n\n"
    with open(report, "w", encoding="utf-8") as f:
        f.write(kept + section)
    print(section)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""End-to-end tests of kestrova-tray on a real X server with a real GnuPG home.

Each case starts its own Xvfb display with openbox, a GnuPG home made here whose gpg-agent asks
for pass phrases with pinentry-qt, and kestrova-tray. Commands go to the tray's socket as a
script of the user would send them; the clipboard is set and read with xclip, the dialogs are
answered with xdotool, and every result is checked with gpg. The window case drives the
Kestrova window itself, with the user's clipboard held by clipboard_owner (text and RTF).

    tray_test.py CASE --tray PATH [--kestrova PATH --clipboard-owner PATH]
"""

import argparse
import os
import re
import shutil
import socket
import subprocess
import sys
import threading
import time

from e2e_test import (Desktop, Failure, Skip, Weston, check, click_pgp_button, run_case,
                      wait_exit, wait_for)

TEXT = "拝啓\nお元気ですか。来週の会議の件です。\n"
PASS_PHRASE = "tray pass 23"


class AgentStopper:
    """Ends the test home's gpg-agent when the desktop ends its programs: it stands among them
    as one that is still running."""

    def __init__(self, home, env):
        self.home, self.env = home, env

    def poll(self):
        return None

    def terminate(self):
        subprocess.run(["gpgconf", "--homedir", self.home, "--kill", "all"], env=self.env,
                       capture_output=True, timeout=30)

    def wait(self, timeout=None):
        return 0


class TrayDesk:
    """The desktop with a GnuPG home and a running kestrova-tray."""

    def __init__(self, desk, tray, tray_env=None):
        self.desk = desk
        self.home = desk.path("gnupg")
        os.makedirs(self.home, mode=0o700)
        with open(os.path.join(self.home, "gpg-agent.conf"), "w") as conf:
            conf.write("pinentry-program /usr/bin/pinentry-qt\n")
        desk.env["GNUPGHOME"] = self.home
        self.socket_path = os.path.join(desk.env["XDG_RUNTIME_DIR"], "PGPtray_Hidden_Window")
        self.alice = self.make_key("Alice <alice@example.org>", PASS_PHRASE)
        self.bob = self.make_key("Bob <bob@example.org>", "")
        # Ended after the tray, which is started after it.
        desk.procs.append(AgentStopper(self.home, desk.env))
        self.tray_path = tray
        self.tray = desk.spawn([tray], env=dict(desk.env, **(tray_env or {})))
        wait_for(lambda: os.path.exists(self.socket_path), "the tray's socket")

    def gpg(self, *args, input_text=None, check_rc=True, home=None):
        env = dict(self.desk.env)
        env["GNUPGHOME"] = home or self.home
        result = subprocess.run(["gpg", "--batch", *args], env=env, capture_output=True,
                                input=input_text.encode("utf-8") if input_text else None,
                                timeout=60)
        if check_rc and result.returncode != 0:
            raise Failure(f"gpg {' '.join(args)} failed: {result.stderr.decode(errors='replace')}")
        return result

    def encryption_keys(self, fingerprint):
        """The key IDs of a key's subkeys, which are what a message is encrypted to."""
        listed = self.gpg("--with-colons", "--list-keys", fingerprint).stdout.decode()
        return [line.split(":")[4] for line in listed.splitlines() if line.startswith("sub:")]

    def make_key(self, user_id, pass_phrase, home=None):
        self.gpg("--pinentry-mode", "loopback", "--passphrase", pass_phrase, "--quick-gen-key",
                 user_id, "future-default", "default", "never", home=home)
        listed = self.gpg("--with-colons", "--list-keys", user_id, home=home).stdout.decode()
        return next(line.split(":")[9] for line in listed.splitlines()
                    if line.startswith("fpr:"))

    def send(self, request):
        """Sends one request line and returns the tray's answer."""
        with socket.socket(socket.AF_UNIX) as client:
            client.settimeout(120)
            client.connect(self.socket_path)
            client.sendall(request.encode() + b"\n")
            answer = b""
            while not answer.endswith(b"\n"):
                piece = client.recv(64)
                if not piece:
                    break
                answer += piece
        return int(answer.decode().strip())

    def send_later(self, request):
        """Sends request on a thread; .join() and .answer once it is answered."""
        worker = threading.Thread(target=lambda: setattr(worker, "answer", self.send(request)))
        worker.answer = None
        worker.start()
        return worker

    def window(self, name, what="--name", timeout=60):
        def find():
            out = self.desk.run(["xdotool", "search", "--onlyvisible", what, name],
                                check_rc=False).split()
            return out[-1] if out else None
        return wait_for(find, f"a window {what} {name}", timeout=timeout)

    def type_into(self, window, text):
        self.desk.activate(window)
        self.desk.run(["xdotool", "type", "--delay", "20", text])
        self.desk.run(["xdotool", "key", "--clearmodifiers", "Return"])

    def command(self, identifier, text):
        self.desk.set_clipboard(text)
        return self.send(f"command {identifier}")


def case_second_copy(desk, args):
    tray = TrayDesk(desk, args.tray)
    second = subprocess.run([args.tray], env=desk.env, capture_output=True, timeout=60)
    check(second.returncode == 0, f"the second copy ended with {second.returncode}")
    check("既に起動しています" in second.stderr.decode(), f"it said {second.stderr!r}")
    check(tray.tray.poll() is None, "the first copy ended")


def case_sign_with_pinentry(desk, args):
    tray = TrayDesk(desk, args.tray)
    desk.set_clipboard(TEXT)
    sign = tray.send_later("command 40026")
    # The pass phrase is typed into the real pinentry-qt that gpg-agent shows.
    pinentry = tray.window("pinentry", "--class")
    check(tray.send("command 40008") == 3, "a second command was not refused as busy")
    tray.type_into(pinentry, PASS_PHRASE)
    sign.join(120)
    check(sign.answer == 0, f"the tray answered {sign.answer}")
    signed = desk.clipboard()
    check(signed.startswith("-----BEGIN PGP SIGNED MESSAGE-----"), f"clipboard: {signed!r}")
    verified = tray.gpg("--status-fd", "1", "--verify", input_text=signed)
    check(f"VALIDSIG {tray.alice}" in verified.stdout.decode(), "not signed by Alice's key")


def case_encrypt_and_decrypt(desk, args):
    tray = TrayDesk(desk, args.tray)
    desk.set_clipboard(TEXT)
    encrypt = tray.send_later("command 40025")
    # The recipient is chosen in the tray's dialog: a name typed into its search, then Enter.
    tray.type_into(tray.window("受取人の選択"), "bob@")
    encrypt.join(120)
    check(encrypt.answer == 0, f"the tray answered {encrypt.answer}")
    encrypted = desk.clipboard()
    check(encrypted.startswith("-----BEGIN PGP MESSAGE-----"), f"clipboard: {encrypted!r}")
    packets = tray.gpg("--list-packets", input_text=encrypted).stdout.decode()
    check(all(k in packets for k in tray.encryption_keys(tray.bob)), "not encrypted to Bob")
    check(not any(k in packets for k in tray.encryption_keys(tray.alice)), "encrypted to Alice")
    check(tray.gpg("--decrypt", input_text=encrypted).stdout.decode() == TEXT, "gpg disagrees")

    check(tray.command(40008, encrypted) == 0, "decrypting was refused")
    check(desk.clipboard() == TEXT, f"decrypted: {desk.clipboard()!r}")


def case_verify(desk, args):
    tray = TrayDesk(desk, args.tray)
    good = tray.gpg("--clearsign", "-u", tray.bob, input_text=TEXT).stdout.decode()
    check(tray.command(40028, good) == 0, "a good signature was refused")
    check(desk.clipboard() == TEXT, f"verified: {desk.clipboard()!r}")

    tampered = good.replace("来週", "今週")
    check(tray.command(40008, tampered) != 0, "a tampered text was taken as good")
    check(desk.clipboard() == tampered, "the clipboard changed after a bad signature")

    carol_home = desk.path("carol")
    os.makedirs(carol_home, mode=0o700)
    carol = tray.make_key("Carol <carol@example.org>", "", home=carol_home)
    tray.gpg("--import", input_text=tray.gpg("--armor", "--export", carol,
                                             home=carol_home).stdout.decode())
    secret = tray.gpg("--armor", "--export-secret-keys", carol, home=carol_home).stdout
    subprocess.run(["gpg", "--batch", "--import"], input=secret, capture_output=True,
                   env=dict(desk.env), timeout=60, check=True)
    both = tray.gpg("--clearsign", "-u", tray.bob, "-u", carol, input_text=TEXT).stdout.decode()
    check(tray.command(40008, both) == 0, "a text with two good signatures was refused")
    check(desk.clipboard() == TEXT, f"verified: {desk.clipboard()!r}")


def case_import(desk, args):
    tray = TrayDesk(desk, args.tray)
    keys = {}
    for name, identifier in (("dave", 40006), ("erin", 40028)):
        home = desk.path(name)
        os.makedirs(home, mode=0o700)
        keys[name] = tray.make_key(f"{name} <{name}@example.org>", "", home=home)
        block = tray.gpg("--armor", "--export", keys[name], home=home).stdout.decode()
        check(tray.command(identifier, "鍵です。\n" + block) == 0, f"{identifier} refused")
        listed = tray.gpg("--with-colons", "--list-keys", keys[name], check_rc=False)
        check(listed.returncode == 0, f"{name}'s key was not added through {identifier}")


# Connects, asks for "topmost" (answered at once, no gpg involved) and prints what came back;
# a connection closed before or after the request is "closed".
OTHER_CLIENT = """
import socket, sys
client = socket.socket(socket.AF_UNIX)
client.settimeout(60)
client.connect(sys.argv[1])
try:
    client.sendall(b"topmost\\n")
    print(repr(client.recv(64)))
except (BrokenPipeError, ConnectionResetError):
    print("closed")
"""


def case_peer_uid(desk, args):
    """A client of another user is turned away by its user id even where the socket's
    permissions let it in; the tray's own user is answered."""
    if os.geteuid() != 0:
        raise Skip("only root can run a client as another user")
    tray = TrayDesk(desk, args.tray)
    # Open the way to the socket: only the check of the peer's user id is left to keep out.
    for folder in (desk.work, os.path.dirname(tray.socket_path)):
        os.chmod(folder, 0o755)
    os.chmod(tray.socket_path, 0o777)
    python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
    other = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                            python, "-c", OTHER_CLIENT, tray.socket_path],
                           env=desk.env, capture_output=True, timeout=90)
    said = other.stdout.decode().strip()
    check(other.returncode == 0, f"the other user could not connect: {other.stderr!r}")
    check(said in ("b''", "closed"), f"the other user was answered: {said}")
    check(tray.send("topmost") == 0, "the tray's own user was not answered")


def case_xwayland(desk, args):
    """On a Wayland desktop with XWayland (weston nested in Xvfb): the tray, which starts
    through XWayland unless told otherwise, verifies a text a Wayland program copied and gives
    the result to Wayland programs, though it never has the keyboard focus."""
    for tool in ("weston", "wl-copy", "wl-paste", "Xwayland"):
        if not shutil.which(tool):
            raise Skip(f"{tool} is not installed")
    weston = desk.spawn(["weston", "--backend=x11-backend.so", "--socket=kestrova-wl",
                         "--idle-time=0", "--width=800", "--height=600", "--xwayland"])

    def xwayland_display():
        weston.log.seek(0)
        found = re.search(rb"listening on display (:\d+)", weston.log.read())
        return found.group(1).decode() if found else None
    display = wait_for(xwayland_display, "XWayland's display", timeout=90)
    wayland = {k: v for k, v in desk.env.items() if k != "DISPLAY"}
    wayland["WAYLAND_DISPLAY"] = "kestrova-wl"
    tray = TrayDesk(desk, args.tray, {"DISPLAY": display, "WAYLAND_DISPLAY": "kestrova-wl"})

    signed = tray.gpg("--clearsign", "-u", tray.bob, input_text=TEXT).stdout
    subprocess.run(["wl-copy"], env=wayland, input=signed, check=True, timeout=30)
    in_x = dict(desk.env, DISPLAY=display)
    wait_for(lambda: subprocess.run(["xclip", "-selection", "clipboard", "-out"], env=in_x,
                                    capture_output=True, timeout=10).stdout == signed,
             "the copied text to reach XWayland")
    check(tray.send("command 40008") == 0, "the tray did not verify the copied text")
    pasted = subprocess.run(["wl-paste", "--no-newline"], env=wayland, capture_output=True,
                            timeout=30).stdout.decode()
    check(pasted == TEXT, f"Wayland programs paste {pasted!r}")


def case_wayland_native(desk, args):
    """Told to be a native Wayland client, the tray could not use the clipboard while another
    window has the focus, yet would answer "done": it says in a line and a message box that it
    must run through XWayland, and ends with a non-zero status without taking the socket."""
    weston = Weston(desk)
    # weston's shell draws its panel a moment after the socket is up; wl-paste needs the shell
    # to give its window the focus, so once a copy can be pasted the desktop is up.
    weston.copy("shell")
    # The desktop is still before the tray starts, so that a change is the tray's window.
    before = wait_for(lambda: (lambda a, b: a if a == b else None)(
        weston.picture(), (time.sleep(0.5), weston.picture())[1]), "weston's desktop to settle")
    proc = desk.spawn([args.tray], env=weston.env)

    def said():
        proc.log.seek(0)
        return "QT_QPA_PLATFORM=xcb" in proc.log.read().decode(errors="replace")
    wait_for(lambda: said() or proc.poll() is not None, "the tray to say why it stops", timeout=60)
    proc.log.seek(0)
    check(said(), f"the tray said {proc.log.read().decode(errors='replace')!r}")
    wait_for(lambda: weston.picture() != before, "the tray's message box in weston", timeout=60)
    check(proc.poll() is None, "the tray ended without waiting for its message box")
    socket_path = os.path.join(desk.env["XDG_RUNTIME_DIR"], "PGPtray_Hidden_Window")
    check(not os.path.exists(socket_path), "the tray took the socket")

    # The message box has the keyboard focus once weston has mapped it: Enter answers "OK".
    # Pressed again until the tray has gone, in case the first press came before that.
    wait_for(lambda: weston.keys("Return") or time.sleep(1) or proc.poll() is not None,
             "the tray to end after its message box", timeout=60)
    check(proc.returncode != 0, "the tray ended with status 0")


def case_window_sign(desk, args):
    """The whole road: the Kestrova window with PgpVer 2 on a mail file (plug-in mode, so that
    no clipboard write of its own follows), "署名", the pass phrase typed into pinentry-qt for
    the tray; the text saved from the window is clear-signed by Alice, and the user's clipboard,
    text and RTF, is back."""
    tray = TrayDesk(desk, args.tray)
    config = os.path.join(desk.env["XDG_CONFIG_HOME"], "kestrova")
    os.makedirs(config, mode=0o700, exist_ok=True)
    with open(os.path.join(config, "Kestrova.ini"), "wb") as f:
        f.write(b"[Settings]\r\nPgpFlg=1\r\nPgpVer=2\r\nJisConvMode=0\r\n")
    mail = desk.path("home", "mail.txt")
    with open(mail, "wb") as f:
        f.write(TEXT.encode("utf-8"))
    user_text, user_rtf = "利用者が写した文", r"{\rtf1\ansi copied}"
    desk.spawn([args.clipboard_owner, user_text, user_rtf])
    wait_for(lambda: desk.clipboard() == user_text, "the user's clipboard")

    proc = desk.spawn([args.kestrova, "-f", mail])
    # By its caption: xdotool would take the tray's small window for "^Kestrova" as well.
    window = tray.window("Plugin Mode")
    # A click on a window that the window manager is still placing can miss "署名"; clicking
    # again while the command runs does nothing, since the buttons are off meanwhile.
    def clicked_and_asked():
        try:
            click_pgp_button(desk, window, 2040)
            return tray.window("pinentry", "--class", timeout=30)
        except Failure:
            return None
    pinentry = wait_for(clicked_and_asked, "pinentry after a click on 署名", timeout=150)
    tray.type_into(pinentry, PASS_PHRASE)

    # The text box takes keys again once the command is over; until then Ctrl+S does nothing,
    # and the tray's windows may hold the focus for a moment.
    def saved():
        try:
            desk.keys(window, "ctrl+s")
        except Failure:
            return False
        time.sleep(0.5)
        return open(mail, "rb").read().startswith(b"-----BEGIN PGP SIGNED MESSAGE-----")
    wait_for(saved, "the signed text saved from the window", timeout=120)
    verified = tray.gpg("--status-fd", "1", "--verify", input_text=open(mail).read())
    check(f"VALIDSIG {tray.alice}" in verified.stdout.decode(), "not signed by Alice's key")
    check(desk.clipboard() == user_text, f"clipboard text: {desk.clipboard()!r}")
    rtf = subprocess.run(["xclip", "-selection", "clipboard", "-t", "text/rtf", "-out"],
                         env=desk.env, capture_output=True, timeout=10).stdout.decode()
    check(rtf == user_rtf, f"clipboard RTF: {rtf!r}")
    desk.keys(window, "alt+x")
    check(wait_exit(proc, "kestrova after Alt+X") == 0, "kestrova exited with an error")


CASES = {
    "second-copy": case_second_copy,
    "sign-pinentry": case_sign_with_pinentry,
    "encrypt-decrypt": case_encrypt_and_decrypt,
    "verify": case_verify,
    "import": case_import,
    "window-sign": case_window_sign,
    "peer-uid": case_peer_uid,
    "xwayland": case_xwayland,
    "wayland-native": case_wayland_native,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--tray", required=True)
    parser.add_argument("--kestrova")
    parser.add_argument("--clipboard-owner")
    args = parser.parse_args()
    return run_case(args.case, CASES[args.case], args)


if __name__ == "__main__":
    sys.exit(main())

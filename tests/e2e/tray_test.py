#!/usr/bin/env python3
"""End-to-end tests of kestrova-tray on a real X server with a real GnuPG home.

Each case starts its own Xvfb display with openbox, a GnuPG home made here whose gpg-agent asks
for pass phrases with pinentry-qt, and kestrova-tray. Commands go to the tray's socket as a
script of the user would send them; the clipboard is set and read with xclip, the dialogs are
answered with xdotool, and every result is checked with gpg.

    tray_test.py CASE --tray PATH
"""

import argparse
import os
import socket
import subprocess
import sys
import threading

from e2e_test import Desktop, Failure, check, run_case, wait_for

TEXT = "拝啓\nお元気ですか。来週の会議の件です。\n"
PASS_PHRASE = "tray pass 23"


class TrayDesk:
    """The desktop with a GnuPG home and a running kestrova-tray."""

    def __init__(self, desk, tray):
        self.desk = desk
        self.home = desk.path("gnupg")
        os.makedirs(self.home, mode=0o700)
        with open(os.path.join(self.home, "gpg-agent.conf"), "w") as conf:
            conf.write("pinentry-program /usr/bin/pinentry-qt\n")
        desk.env["GNUPGHOME"] = self.home
        self.socket_path = os.path.join(desk.env["XDG_RUNTIME_DIR"], "PGPtray_Hidden_Window")
        self.alice = self.make_key("Alice <alice@example.org>", PASS_PHRASE)
        self.bob = self.make_key("Bob <bob@example.org>", "")
        self.tray_path = tray
        self.tray = desk.spawn([tray])
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

    def window(self, name, what="--name"):
        def find():
            out = self.desk.run(["xdotool", "search", "--onlyvisible", what, name],
                                check_rc=False).split()
            return out[-1] if out else None
        return wait_for(find, f"a window {what} {name}", timeout=60)

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


CASES = {
    "second-copy": case_second_copy,
    "sign-pinentry": case_sign_with_pinentry,
    "encrypt-decrypt": case_encrypt_and_decrypt,
    "verify": case_verify,
    "import": case_import,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--tray", required=True)
    args = parser.parse_args()
    return run_case(args.case, CASES[args.case], args)


if __name__ == "__main__":
    sys.exit(main())

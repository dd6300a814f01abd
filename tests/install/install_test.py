#!/usr/bin/env python3
"""Kestrova installed into a temporary prefix, as `cmake --install` puts it anywhere.

    install_test.py CASE --build DIR

files     every file in its place, nothing the window alone runs on the PATH; the installed
          kestrova-cli runs and tells its version
desktop   desktop-file-validate passes the installed desktop entry
appstream appstreamcli validate --no-net passes the installed metainfo file
man       both man pages, compressed, render at 80 columns without a warning
package   cpack -G DEB makes a package of the same files, its dependencies taken from the
          libraries the programs link and the font and translation the window needs
lintian   lintian --pedantic finds no error, warning or pedantic note in that package
          (skipped where lintian is not installed)
help      the installed window, on a real X server, shows its help from the installed data
          folder in a window of its own when F1 is pressed, and "ブラウザで開く" hands the
          same file on (xdg-open is a stand-in that notes the URL)
"""

import argparse
import gzip
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from e2e_test import Desktop, Failure, check, wait_for  # noqa: E402

APP_ID = "org.kestrova.Kestrova"
SKIP = 77
HELP = "share/kestrova/Kestrova.html"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def install(build, prefix):
    result = subprocess.run(["cmake", "--install", build, "--prefix", prefix],
                            capture_output=True, text=True, timeout=120)
    check(result.returncode == 0, f"cmake --install failed: {result.stderr}")


def installed_files():
    files = [
        "bin/kestrova",
        "bin/kestrova-cli",
        "lib/kestrova/kestrova-command",
        HELP,
        "share/doc/kestrova/copyright",
        "share/doc/kestrova/changelog.gz",
        f"share/applications/{APP_ID}.desktop",
        f"share/metainfo/{APP_ID}.metainfo.xml",
        "share/man/man1/kestrova.1.gz",
        "share/man/man1/kestrova-cli.1.gz",
        "bin/kestrova-tray",
        "share/man/man1/kestrova-tray.1.gz",
        "share/applications/org.kestrova.KestrovaTray.desktop",
        "share/kestrova/autostart/org.kestrova.KestrovaTray.desktop",
        "share/icons/hicolor/scalable/apps/kestrova.svg",
    ]
    files += [f"share/icons/hicolor/{s}x{s}/apps/kestrova.png" for s in ICON_SIZES]
    return files


def case_files(prefix, _build):
    for name in installed_files():
        check(os.path.isfile(os.path.join(prefix, name)), f"{name} was not installed")
    for program in ("bin/kestrova", "bin/kestrova-cli", "lib/kestrova/kestrova-command"):
        check(os.access(os.path.join(prefix, program), os.X_OK), f"{program} cannot run")
    # A program must work without the documentation folder, and what only the window runs
    # stays off the PATH.
    for name in ("bin/kestrova-command", "share/doc/kestrova/Kestrova.html"):
        check(not os.path.exists(os.path.join(prefix, name)), f"{name} was installed")
    for name in ("share/doc/kestrova/changelog.gz", "share/man/man1/kestrova.1.gz"):
        with open(os.path.join(prefix, name), "rb") as f:
            header = f.read(10)
        # No name and no time stamp inside, so that two builds give the same bytes.
        check(header[:2] == b"\x1f\x8b" and header[4:8] == b"\0\0\0\0" and not header[3] & 8,
              f"{name} is not gzip without a time stamp and name: {header!r}")
    with open(os.path.join(prefix, "share/doc/kestrova/copyright"), encoding="utf-8") as f:
        copyright_text = f.read()
    check(copyright_text.startswith(
        "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"),
        "the copyright file is not in the machine-readable form")
    with gzip.open(os.path.join(prefix, "share/doc/kestrova/changelog.gz"), "rt") as f:
        first = f.readline()
    check(first.startswith("kestrova (1.7.0) "), f"the changelog begins {first!r}")
    for size in ICON_SIZES:
        with open(os.path.join(prefix, f"share/icons/hicolor/{size}x{size}/apps/kestrova.png"),
                  "rb") as png:
            header = png.read(24)
        check(header[:8] == b"\x89PNG\r\n\x1a\n", f"the {size} icon is no PNG")
        width = int.from_bytes(header[16:20], "big")
        height = int.from_bytes(header[20:24], "big")
        check((width, height) == (size, size), f"the {size} icon is {width} x {height}")
    result = subprocess.run([os.path.join(prefix, "bin/kestrova-cli"), "--version"],
                            capture_output=True, text=True, timeout=30)
    check(result.returncode == 0, f"kestrova-cli --version failed: {result.stderr}")
    check(result.stdout.startswith("kestrova-cli 1.7"), f"version: {result.stdout!r}")


def validate(argv):
    result = subprocess.run(argv, capture_output=True, text=True, timeout=60)
    check(result.returncode == 0,
          f"{' '.join(argv)} failed:\n{result.stdout}{result.stderr}")
    return result.stdout + result.stderr


def case_desktop(prefix, _build):
    entry = os.path.join(prefix, f"share/applications/{APP_ID}.desktop")
    output = validate(["desktop-file-validate", entry])
    check(output.strip() == "", f"desktop-file-validate says:\n{output}")
    with open(entry, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for line in ("Exec=kestrova %f", "MimeType=text/plain;", "Categories=Utility;TextTools;",
                 "Icon=kestrova"):
        check(line in lines, f"the desktop entry lacks {line}")
    check(any(line.startswith("Name[ja]=") for line in lines), "no Japanese name")
    check(any(line.startswith("Comment[ja]=") for line in lines), "no Japanese comment")


def case_appstream(prefix, _build):
    validate(["appstreamcli", "validate", "--no-net",
              os.path.join(prefix, f"share/metainfo/{APP_ID}.metainfo.xml")])


def case_man(prefix, _build):
    env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8", MAN_KEEP_FORMATTING="")
    for page, title in (("kestrova.1.gz", "KESTROVA(1)"),
                        ("kestrova-cli.1.gz", "KESTROVA-CLI(1)")):
        result = subprocess.run(["man", "--warnings", "-l",
                                 os.path.join(prefix, "share/man/man1", page)],
                                env=env, capture_output=True, text=True, timeout=60)
        check(result.returncode == 0, f"man {page} failed: {result.stderr}")
        check(result.stderr == "", f"man {page} warns:\n{result.stderr}")
        check(result.stdout.startswith(title), f"{page} renders as {result.stdout[:80]!r}")
        for line in result.stdout.splitlines():
            check(len(line) <= 80, f"{page} has a line wider than 80 columns: {line!r}")


def case_help(prefix, _build):
    check(not os.path.exists(os.path.join(prefix, "bin/Kestrova.html")),
          "the help stands beside the installed program; it belongs in the data folder")
    desktop = Desktop()
    try:
        # A stand-in for xdg-open, which is what Qt runs to hand a document to the desktop: it
        # notes the URL instead of starting a browser.
        fake_bin = desktop.path("fake-bin")
        os.makedirs(fake_bin)
        opened = desktop.path("opened")
        with open(os.path.join(fake_bin, "xdg-open"), "w") as script:
            script.write(f"#!/bin/sh\nprintf '%s\\n' \"$1\" > '{opened}.part'\n"
                         f"mv '{opened}.part' '{opened}'\n")
        os.chmod(os.path.join(fake_bin, "xdg-open"), 0o755)
        env = dict(desktop.env, PATH=fake_bin + os.pathsep + desktop.env.get("PATH", ""))
        desktop.set_clipboard("ヘルプ")
        proc = desktop.spawn([os.path.join(prefix, "bin/kestrova")], env=env)
        window = desktop.kestrova_window(proc)
        desktop.keys(window, "F1")

        # The help window bears the title of the installed help file.
        # Compared here: xdotool's patterns do not take Japanese reliably.
        def help_window():
            found = desktop.run(["xdotool", "search", "--onlyvisible", "--pid", str(proc.pid),
                                 "--name", "."], check_rc=False).split()
            return next((w for w in found if desktop.run(["xdotool", "getwindowname", w],
                                                         check_rc=False).strip()
                         == "Kestrova の使い方"), None)
        shown = wait_for(help_window, "the help window")
        check(not os.path.exists(opened), "F1 handed the help to the desktop")
        # Tab leaves the text for "ブラウザで開く"; each key once the window is active.
        desktop.keys(shown, "Tab")
        desktop.keys(shown, "space")
        wait_for(lambda: os.path.exists(opened), "the help to be handed to the browser")
        with open(opened) as f:
            url = f.read().strip()
        expected = "file://" + os.path.join(os.path.realpath(prefix), HELP)
        check(url == expected, f"ブラウザで開く opened {url!r}, not {expected!r}")
        desktop.keys(shown, "Escape")
        wait_for(lambda: help_window() is None, "Esc to close the help window")
    finally:
        desktop.close()


def make_package(prefix, build):
    out = os.path.join(prefix, "package")
    result = subprocess.run(["cpack", "-G", "DEB", "-B", out,
                             "--config", os.path.join(build, "CPackConfig.cmake")],
                            capture_output=True, text=True, timeout=300)
    check(result.returncode == 0, f"cpack failed:\n{result.stdout}{result.stderr}")
    debs = [name for name in os.listdir(out) if name.endswith(".deb")]
    check(len(debs) == 1 and debs[0].startswith("kestrova_1.7.0_"), f"packages made: {debs}")
    return os.path.join(out, debs[0])


class Skipped(Exception):
    pass


def case_lintian(prefix, build):
    lintian = shutil.which("lintian")
    if lintian is None:
        raise Skipped("lintian is not installed (Debian: lintian)")
    deb = make_package(prefix, build)
    result = subprocess.run([lintian, "--pedantic", "--info", "--tag-display-limit", "0", deb],
                            capture_output=True, text=True, timeout=600)
    report = result.stdout + result.stderr
    print(report, end="")
    # Information lines stay for the reader; errors, warnings and pedantic notes fail.
    bad = [line for line in report.splitlines() if line[:2] in ("E:", "W:", "P:")]
    check(not bad, "lintian reports:\n" + "\n".join(bad))
    check(result.returncode == 0, f"lintian failed ({result.returncode}):\n{report}")


def case_package(prefix, build):
    deb = make_package(prefix, build)

    def field(name):
        return subprocess.run(["dpkg-deb", "--field", deb, name], capture_output=True,
                              text=True, timeout=30).stdout.strip()

    check(field("Package") == "kestrova", "the package is not named kestrova")
    depends = [item.split()[0] for item in field("Depends").split(", ")]
    for library in ("libc6", "libstdc++6", "libqt6widgets6", "libqt6gui6", "libqt6core6"):
        check(library in depends, f"Depends lacks {library}: {depends}")
    check("fonts-ipafont-gothic | fonts-noto-cjk" in field("Depends"),
          f"the Japanese font is not a dependency: {field('Depends')}")
    check("qt6-translations-l10n" in depends, f"Depends lacks Qt's translations: {depends}")
    check(field("Suggests") == "", f"the package suggests {field('Suggests')!r}")
    maintainer = field("Maintainer")
    check(maintainer.endswith("@kestrova.org>"), f"the maintainer is {maintainer!r}")
    listing = subprocess.run(["dpkg-deb", "--contents", deb], capture_output=True, text=True,
                             timeout=30).stdout
    packed = {line.split()[-1].lstrip(".") for line in listing.splitlines()}
    for name in installed_files():
        check("/usr/" + name in packed, f"the package lacks /usr/{name}")

    # Debian's hardening: relocations read-only before the program runs (bind-now), and the
    # checked forms of the C library's buffer functions (fortify).
    unpacked = os.path.join(prefix, "unpacked")
    subprocess.run(["dpkg-deb", "-x", deb, unpacked], check=True, timeout=60)
    for program in ("bin/kestrova", "bin/kestrova-cli", "lib/kestrova/kestrova-command"):
        path = os.path.join(unpacked, "usr", program)
        dynamic = subprocess.run(["readelf", "--dynamic", "--wide", path], capture_output=True,
                                 text=True, timeout=30).stdout
        check("BIND_NOW" in dynamic or "Flags: NOW" in dynamic, f"{program} is not bound now")
        check("PIE" in dynamic, f"{program} is not position-independent")
        symbols = subprocess.run(["readelf", "--dyn-syms", "--wide", path], capture_output=True,
                                 text=True, timeout=30).stdout
        check("_chk@" in symbols, f"{program} uses no fortified function")


CASES = {
    "files": case_files,
    "desktop": case_desktop,
    "appstream": case_appstream,
    "man": case_man,
    "package": case_package,
    "lintian": case_lintian,
    "help": case_help,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--build", required=True)
    args = parser.parse_args()
    prefix = tempfile.mkdtemp(prefix="kestrova-install-")
    try:
        # The package cases install through cpack, into a tree of their own.
        if args.case not in ("package", "lintian"):
            install(args.build, prefix)
        CASES[args.case](prefix, args.build)
    except Skipped as reason:
        print(f"SKIP {args.case}: {reason}")
        return SKIP
    except Failure as failure:
        print(f"FAIL {args.case}: {failure}")
        return 1
    finally:
        shutil.rmtree(prefix, ignore_errors=True)
    print(f"PASS {args.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

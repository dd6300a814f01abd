#!/usr/bin/env python3
"""Builds the benchmark corpus from the Japanese manual pages of Debian's manpages-ja.

Writes prose-utf8.txt (CR LF line ends, as the engine sees text), its Shift_JIS,
EUC-JP and ISO-2022-JP forms, and a variant whose paragraphs stand on one line each.
The text mixes short lines, mail-like quoted blocks and whole paragraphs on one line.
mail-*.txt holds the same text as mail is written: lines of at most 36 characters,
every third paragraph quoted with "> ", LF line ends.
"""
import gzip
import os
import re
import sys

MAN = "/usr/share/man/ja"
target_bytes = int(sys.argv[2]) if len(sys.argv) > 2 else 8 * 1024 * 1024
out_dir = sys.argv[1] if len(sys.argv) > 1 else "."

ROFF_ESCAPE = re.compile(r"\\f[BIRP]|\\f\(..|\\\(..|\\[&|^e-]|\\s[-+]?\d")


def prose_lines():
    for root, _, files in sorted(os.walk(MAN)):
        for name in sorted(files):
            if not name.endswith(".gz"):
                continue
            try:
                with gzip.open(os.path.join(root, name), "rt", encoding="utf-8") as f:
                    raw = f.read()
            except (OSError, UnicodeDecodeError):
                continue
            for line in raw.splitlines():
                if line.startswith((".", "'")):
                    if line.startswith((".PP", ".SH", ".LP", ".TP", ".P")):
                        yield ""
                    continue
                line = ROFF_ESCAPE.sub("", line).replace("\\", "").strip()
                if line:
                    yield line


def paragraphs():
    para = []
    for line in prose_lines():
        if line:
            para.append(line)
        elif para:
            yield para
            para = []
    if para:
        yield para


def representable(text):
    try:
        text.encode("cp932")
        text.encode("euc_jp")
        text.encode("iso2022_jp")
        return True
    except UnicodeEncodeError:
        return False


def build():
    pieces, lines_only, size = [], [], 0
    n = 0
    while size < target_bytes:
        before = size
        for para in paragraphs():
            if not any(ord(c) > 0x7F for c in "".join(para)):
                continue  # keep the corpus Japanese
            para = [l for l in para if representable(l)]
            if not para:
                continue
            n += 1
            if n % 5 == 0:  # a mail-like quotation
                block = ["> " + l for l in para]
            elif n % 5 == 1:  # a whole paragraph on one line
                block = ["".join(para)]
            else:
                block = para
            text = "\r\n".join(block) + "\r\n\r\n"
            pieces.append(text)
            lines_only.append("".join(para) + "\r\n\r\n")
            size += len(text.encode("cp932"))
            if size >= target_bytes:
                break
        if size == before:
            sys.exit("no Japanese manual pages found under " + MAN)
    return "".join(pieces), "".join(lines_only)


prose, one_line = build()
with open(os.path.join(out_dir, "prose-utf8.txt"), "w", encoding="utf-8", newline="") as f:
    f.write(prose)
for name, codec in (("sjis", "cp932"), ("euc", "euc_jp"), ("jis", "iso2022_jp")):
    with open(os.path.join(out_dir, "prose-%s.txt" % name), "wb") as f:
        f.write(prose.encode(codec))
with open(os.path.join(out_dir, "paragraphs-sjis.txt"), "wb") as f:
    f.write(one_line.encode("cp932"))


def mail(text):
    out = []
    for n, para in enumerate(text.split("\r\n\r\n")):
        words = "".join(para.split("\r\n"))
        lines = [words[i:i + 36] for i in range(0, len(words), 36)]
        out.extend(("> " + l if n % 3 == 2 else l) for l in lines)
        out.append("")
    return "\n".join(out)


mail_text = mail(one_line)
for name, codec in (("utf8", "utf-8"), ("sjis", "cp932"), ("euc", "euc_jp"),
                    ("jis", "iso2022_jp")):
    with open(os.path.join(out_dir, "mail-%s.txt" % name), "wb") as f:
        f.write(mail_text.encode(codec))

#!/usr/bin/env python3
"""Measures kestrova-cli beside nkf, iconv and fold on the same bytes; writes a Markdown report.

Usage: measure.py BUILD_DIR CORPUS_DIR REPORT [RUNS]
Each command runs with its input file as an argument and its output thrown away. The commands
of one table run by turns, one run each per round, so that they share the machine's moods; the
figures are the median, minimum and maximum of the rounds. The memory peak is the maximum
resident set size that /usr/bin/time -v reports for one run.
"""
import os
import platform
import re
import statistics
import subprocess
import sys
import time

build, corpus, report = sys.argv[1], sys.argv[2], sys.argv[3]
RUNS = int(sys.argv[4]) if len(sys.argv) > 4 else 7
cli = os.path.join(build, "bin/kestrova-cli")


def path(name):
    return os.path.join(corpus, name)


def run(cmd):
    # iconv -c reports the characters it skipped with status 1; it still converts the rest.
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check="-c" not in cmd)


def peak_mb(cmd, refused=False):
    out = subprocess.run(["/usr/bin/time", "-v"] + cmd, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True,
                         check="-c" not in cmd and not refused).stderr
    return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", out).group(1)) / 1024


def measure(group):
    """group: [(label, cmd, input)]; returns rows of label, command, MB, times, MB/s, peak."""
    times = [[] for _ in group]
    for _ in range(RUNS):
        for k, (_, cmd, _) in enumerate(group):
            start = time.perf_counter()
            run(cmd)
            times[k].append(time.perf_counter() - start)
    rows = []
    for (label, cmd, src), t in zip(group, times):
        size = os.path.getsize(src)
        med = statistics.median(t)
        rows.append(dict(label=label, cmd=" ".join(cmd).replace(corpus + "/", "")
                         .replace(build + "/", ""), mb=size / 1e6, med=med, lo=min(t),
                         hi=max(t), rate=size / med / 1e6, peak=peak_mb(cmd)))
    return rows


def table(rows, reference):
    ref = next(r for r in rows if r["label"] == reference)
    lines = ["| tool | command | input MB | median s | min–max s | MB/s | × %s | peak RSS MB |"
             % reference, "|---|---|---|---|---|---|---|---|"]
    for r in rows:
        lines.append("| %s | `%s` | %.1f | %.3f | %.3f–%.3f | %.0f | %.2f | %.1f |" % (
            r["label"], r["cmd"], r["mb"], r["med"], r["lo"], r["hi"], r["rate"],
            r["rate"] / ref["rate"], r["peak"]))
    return "\n".join(lines)


def row(rows, label):
    return next(r for r in rows if r["label"] == label)


sections, targets = [], []
for text in ("mail", "prose"):
    sjis, utf8, euc, jis = (path("%s-%s.txt" % (text, c)) for c in ("sjis", "utf8", "euc", "jis"))
    align_sjis = measure([
        ("nkf", ["nkf", "-f70", sjis], sjis),
        ("kestrova K0", [cli, "align", "--output-code", "sjis", sjis], sjis),
        ("kestrova K1", [cli, "align", "--kinsoku", "1", "--output-code", "sjis", sjis], sjis),
        ("kestrova K0, UTF-8 out", [cli, "align", sjis], sjis),
        ("kestrova K1, UTF-8 out", [cli, "align", "--kinsoku", "1", sjis], sjis),
        ("fold", ["fold", "-w", "70", sjis], sjis),
    ])
    align_utf8 = measure([
        ("nkf", ["nkf", "-W", "-w", "-f70", utf8], utf8),
        ("kestrova K0", [cli, "align", utf8], utf8),
        ("kestrova K1", [cli, "align", "--kinsoku", "1", utf8], utf8),
        ("kestrova K0, Shift_JIS out", [cli, "align", "--output-code", "sjis", utf8], utf8),
        ("fold", ["fold", "-w", "70", utf8], utf8),
    ])
    sections.append("## %s: re-flow to 70 columns\n\n### Shift_JIS in\n\n%s\n\n### UTF-8 in\n\n%s\n"
                    % (text.capitalize(), table(align_sjis, "nkf"), table(align_utf8, "nkf")))
    for name, rows in (("Shift_JIS", align_sjis), ("UTF-8", align_utf8)):
        for k in ("kestrova K0", "kestrova K1"):
            ratio = row(rows, k)["rate"] / row(rows, "nkf")["rate"]
            targets.append("- %s, `align` %s on %s: %.2f× `nkf -f70` (target 2×: %s); %.2f× `fold`."
                           % (text, k.split()[1], name, ratio, "met" if ratio >= 2 else "missed",
                              row(rows, k)["rate"] / row(rows, "fold")["rate"]))
    conversions = (
        ("EUC-JP → Shift_JIS", euc, "sjis", [("iconv", ["iconv", "-f", "EUC-JP", "-t", "CP932", euc]),
                                              ("nkf", ["nkf", "-E", "-s", euc])]),
        ("ISO-2022-JP → Shift_JIS", jis, "sjis", [("iconv", ["iconv", "-f", "ISO-2022-JP", "-t", "CP932", jis]),
                                                   ("nkf", ["nkf", "-J", "-s", jis])]),
        ("UTF-8 → Shift_JIS", utf8, "sjis", [("iconv", ["iconv", "-f", "UTF-8", "-t", "CP932", utf8]),
                                             ("nkf", ["nkf", "-W", "-s", utf8])]),
        ("Shift_JIS → ISO-2022-JP", sjis, "jis", [("nkf", ["nkf", "-S", "-j", sjis])]),
        ("Shift_JIS → UTF-8", sjis, "utf8", [("iconv", ["iconv", "-f", "CP932", "-t", "UTF-8", sjis]),
                                            ("nkf", ["nkf", "-S", "-w", sjis])]),
        ("EUC-JP → UTF-8", euc, "utf8", [("iconv", ["iconv", "-f", "EUC-JP", "-t", "UTF-8", euc]),
                                         ("nkf", ["nkf", "-E", "-w", euc])]),
        ("ISO-2022-JP → UTF-8", jis, "utf8", [("iconv", ["iconv", "-f", "ISO-2022-JP", "-t", "UTF-8", jis]),
                                              ("nkf", ["nkf", "-J", "-w", jis])]),
    )
    sections.append("## %s: code conversion\n" % text.capitalize())
    for title, src, to, theirs in conversions:
        rows = measure([("kestrova", [cli, "convert", "--to", to, src], src)] +
                       [(label, cmd, src) for label, cmd in theirs])
        ref = "iconv" if any(l == "iconv" for l, _ in theirs) else "nkf"
        sections.append("### %s\n\n%s\n" % (title, table(rows, ref)))
        ratio = row(rows, "kestrova")["rate"] / row(rows, ref)["rate"]
        targets.append("- %s, `convert` %s: %.2f× %s (target at least 1×: %s)." % (
            text, title, ratio, ref, "met" if ratio >= 1 else "missed"))

# Memory against input size: the prose in each code twelve times over.
big = {}
for code in ("sjis", "utf8", "euc", "jis"):
    big[code] = path("large-%s.txt" % code)
    if not os.path.exists(big[code]):
        with open(path("prose-%s.txt" % code), "rb") as f:
            one = f.read()
        with open(big[code], "wb") as f:
            for _ in range(max(1, 100 * 1000 * 1000 // len(one) + 1)):
                f.write(one)

def variant(name, source, change):
    """A copy of source changed by change(bytes), made once: a late fault or one long line."""
    target = path(name)
    if not os.path.exists(target):
        with open(source, "rb") as f:
            data = change(f.read())
        with open(target, "wb") as f:
            f.write(data)
    return target


def one_line(data):
    return data.replace(b"\r\n", b" ").replace(b"\n", b" ") + b"\n"


late = {
    "emoji": variant("late-emoji-utf8.txt", big["utf8"], lambda d: d + "😀\n".encode()),
    "cut": variant("late-cut-utf8.txt", big["utf8"], lambda d: d + b"\xe3\x81\n"),
    "sjis": variant("late-bad-sjis.txt", big["sjis"], lambda d: d + b"\x85\x40\r\n"),
}
line = {
    "small": variant("line-utf8.txt", path("prose-utf8.txt"), one_line),
    "big": variant("large-line-utf8.txt", big["utf8"], one_line),
}
memory = ["| command | input MB | peak RSS MB, piped in | peak RSS MB, file argument |",
          "|---|---|---|---|"]
for label, cmd, src in (
    ("align, Shift_JIS", [cli, "align", "--output-code", "sjis"], path("prose-sjis.txt")),
    ("align, Shift_JIS", [cli, "align", "--output-code", "sjis"], big["sjis"]),
    ("align, UTF-8", [cli, "align"], path("prose-utf8.txt")),
    ("align, UTF-8", [cli, "align"], big["utf8"]),
    ("align, EUC-JP", [cli, "align"], big["euc"]),
    ("quote, ISO-2022-JP", [cli, "quote"], big["jis"]),
    ("convert, Shift_JIS", [cli, "convert", "--to", "utf8"], big["sjis"]),
    ("convert, ISO-2022-JP", [cli, "convert", "--to", "utf8"], big["jis"]),
    ("convert, UTF-8", [cli, "convert", "--to", "sjis"], big["utf8"]),
    ("convert, EUC-JP", [cli, "convert", "--to", "sjis"], big["euc"]),
    ("nkf, Shift_JIS", ["nkf", "-f70"], big["sjis"]),
    ("refused: an emoji on the last line", [cli, "align", "--output-code", "sjis"],
     late["emoji"]),
    ("refused: UTF-8 cut off on the last line", [cli, "align"], late["cut"]),
    ("refused: bytes no Shift_JIS on the last line", [cli, "align"], late["sjis"]),
    ("align, UTF-8 on one line", [cli, "align"], line["small"]),
    ("align, UTF-8 on one line", [cli, "align"], line["big"]),
    ("quote, UTF-8 on one line", [cli, "quote"], line["big"]),
):
    refused = label.startswith("refused")
    # Through a pipe: the input is copied to an unnamed temporary file and mapped from there.
    with subprocess.Popen(["cat", src], stdout=subprocess.PIPE) as cat:
        piped = subprocess.run(["/usr/bin/time", "-v"] + cmd, stdin=cat.stdout,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True).stderr
    piped_mb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", piped).group(1)) / 1024
    memory.append("| `%s` (%s) | %.0f | %.1f | %.1f |" % (
        " ".join(cmd).replace(build + "/", ""), label, os.path.getsize(src) / 1e6, piped_mb,
        peak_mb(cmd + [src], refused)))

NOTES = """## How the figures come about

- `align` reads the input once to recognise its code (UTF-8 by a pass that also checks every
  character against the output code; otherwise the code detection and the Shift_JIS check
  side by side on the two cores), then decodes, re-flows and encodes it piece by piece on
  reused buffers. It applies the line-break rules that `fold` does not, so it stays below
  `fold -w 70`.
- `convert` between the Japanese codes refuses nothing: once the code is known it converts
  in one pass, piece by piece. Where a character may be refused (UTF-8 in or out), nothing may
  be written before the whole input is known to be good: up to 16 MB of output is held while
  one pass checks and converts each piece, and written at the end. An input between 1 and
  16 MB is converted in two halves on the two cores, the second half from a fresh start after
  a line feed, kept only when the first half ends in the same state (as ordinary text does);
  plain EUC-JP and ISO-2022-JP go to UTF-8 there in one loop. Shift_JIS is known only once the
  whole input has been read: its conversion to UTF-8 runs on one core while the code detection
  runs on the other. Past 16 MB of output the rest of the input is checked first, so large
  inputs take two passes and memory stays bounded.
- Not reached: `align` at the throughput of `fold -w 70` (the aim beyond the targets).
- Peak memory: a file named on the command line is mapped and let go of behind each pass;
  piped input is copied to an unnamed temporary file first and mapped likewise. What remains
  is the held output (up to 16 MB), the reused piece buffers and the program itself, so the
  peak does not grow with the input: compare the 8 MB and 100 MB rows. For inputs of a few
  MB the held output makes the peak larger than the small, whole-file buffers of iconv.
  A refusal costs no more: the rows "refused" are the 100 MB inputs with one fault on their
  last line, named by passes that keep no output. A single line is worked whole, so its own
  size counts: compare the one-line rows (the whole prose on one line) with the others.
- Figures vary by a third between rounds on this shared machine (see min–max), and from one
  sitting to the next; compare within a table, not across reports.
"""

cpu = "unknown"
with open("/proc/cpuinfo") as f:
    for line in f:
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
versions = {
    "nkf": subprocess.run(["nkf", "--version"], capture_output=True, text=True).stdout.splitlines()[0],
    "iconv": subprocess.run(["iconv", "--version"], capture_output=True, text=True).stdout.splitlines()[0],
}
load = os.getloadavg()

window = ""
if os.path.exists(report):
    with open(report, encoding="utf-8") as f:
        old = f.read()
    at = old.find("## The window\n")
    if at >= 0:
        window = old[at:]

with open(report, "w", encoding="utf-8") as out:
    out.write("# Performance\n\n")
    out.write("Measured by `bench/run.sh` (`bench/measure.py`) on %s.\n\n" % time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()))
    out.write("Machine: %s, %d cores, %s, Linux %s; load average %.1f at the start. %s; %s. "
              "Release build.\n\n" % (cpu, os.cpu_count(), platform.machine(), platform.release(),
                                      load[0], versions["nkf"], versions["iconv"]))
    out.write("Corpora (`bench/make_corpus.py`): *prose* is Japanese prose from Debian's "
              "manpages-ja, about 8 MB in Shift_JIS, CR LF line ends, every fifth paragraph "
              "quoted with \"> \" and every fifth on one line; *mail* is the same text as mail "
              "is written, lines of 36 characters, every third paragraph quoted, LF line ends. "
              "Each in Shift_JIS, UTF-8, EUC-JP and ISO-2022-JP. Every figure is for the whole "
              "command, process start included, output thrown away; the commands of a table "
              "ran by turns, %d rounds; median and min–max of the rounds. MB/s counts input "
              "bytes. Peak RSS is the maximum resident set size from `/usr/bin/time -v`. The "
              "machine is shared with other work: the spread shows how much.\n\n" % RUNS)
    out.write("## Against the targets\n\n" + "\n".join(targets) + "\n\n")
    out.write(NOTES + "\n")
    out.write("\n".join(sections) + "\n")
    out.write("## Memory against input size\n\n" + "\n".join(memory) + "\n\n")
    if window:
        out.write(window)
print(open(report, encoding="utf-8").read())

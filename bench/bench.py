#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Benchmark of runemeter-cli against the read floor and other character counters.

Generates a reproducible corpus (seeded) under bench/corpus/ on first use. For every case it
warms the page cache, checks that all tools agree on the counts they share, and only then
prints seconds, MB/s (files/s for the many-files cases), the peak memory of each tool and
runemeter's speed relative to each of them. Never part of the tests: run it by hand.

    bench/bench.py [--cli build/release/bin/runemeter-cli] [--size-mb 300] [--repeat 3]
                   [--cases mixed,repeated,small,zip,utf16,ansi] [--quick]

Cases:
  mixed     one large UTF-8 file of mixed scripts (Latin, Greek, Cyrillic, CJK, Arabic, emoji)
  repeated  one file of one repeated character, as large as the mixed one
  small     many small files (100,000 in 100 folders by default), mostly UTF-8, some UTF-16 and
            Windows-1252, some with CR LF line ends
  zip       one zip (deflated) with as many small members, the same mix of encodings
  utf16     one UTF-16 LE and one UTF-16 BE file
  ansi      one Windows-1252 file
  modes     the mixed file in each text choice (--unit, --normalize) and a copy without its
            signature read with --unsigned auto and utf8: seconds, speed over the default mode
            and peak memory; the copy's counts must equal the signed file's

Tools, each timed in the same run on the same text:
  cat       the read floor: `cat FILES > /dev/null` (for the zip: cat of the zip file)
  Counter   Python's collections.Counter over the text decoded as runemeter decodes it
  recode    `recode utf-8/..count-characters` (Debian package recode)
  unihist   `unihist -g` (Debian package uniutils)
recode and unihist read UTF-8 on standard input only. Files in other encodings and zip members
are converted to UTF-8 copies when the corpus is made, outside any timing; many files reach
them through `xargs cat |`. unihist reads only about 0.1 to 0.3 MB/s, so on a case larger
than --unihist-max-mb it reads a UTF-8 sample of that size made from the start of the case's
text (cut at a character: unihist never ends on a cut UTF-8 sequence, hence also --timeout),
and is checked against runemeter on the same sample. The peak memory is measured through GNU
time (Debian package time) when it is there, else it includes this script's own.

How counts are made comparable: runemeter counts UTF-16 code units (a character outside the
Basic Multilingual Plane is two surrogates), skips the byte order mark and counts CR and LF
separately. unihist counts code points and counts every U+FEFF, the byte order marks of the
files it reads too. recode counts only the Basic Multilingual Plane: it reports each character
outside it as U+FFFD, and it drops U+FEFF wherever it stands, so U+FEFF is not compared for it.
The corpus is valid UTF-8 without NUL: on invalid bytes unihist stops reading and recode fails,
and runemeter ends a text at a NUL, so either would show as a disagreement.

Ratios are runemeter's speed divided by the tool's on the same text (characters per second);
above 1 runemeter is faster. Exit status 1 when any case failed.
"""

import argparse
import collections
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

ALL_CASES = ["mixed", "repeated", "small", "zip", "utf16", "ansi", "modes"]
MANY_FILES = ("small", "zip")
CORPUS_VERSION = 2  # bump when the corpus changes, so an older one is made anew
BOM_UTF8 = b"\xef\xbb\xbf"

# Words of several scripts; the generator strings them into lines.
WORDS = {
    "latin": "the of and to in is was for on that with as by at from his her they have this "
             "not are but had which one were all when there can said been more".split(),
    "german": "über größer schön Straße Mädchen Bäcker fünf Grüße heißen müde zählen".split(),
    "french": "été déjà où façade naïve cœur garçon noël fenêtre très bientôt".split(),
    "greek": "και του της το να είναι θάλασσα ουρανός ήλιος νύχτα ψάρι".split(),
    "cyrillic": "и в не на что он с как это по мельник мука сосед".split(),
    "cjk": "春の朝 桜が 三つ咲いた 子ども 花びら 数えて 百まで 東京 北京 学生".split(),
    "arabic": "في من على إلى الذي هذا كتاب مدرسة بيت".split(),
    "emoji": ["\U0001F600", "\U0001F680", "\U0001F44D"],
}
ANSI_SCRIPTS = ["latin", "french", "german"]
BMP_SCRIPTS = ["latin", "german", "french", "greek", "cyrillic", "cjk", "arabic"]


# ---- corpus


def generate_text(rng, size_chars, scripts):
    words = [w for s in scripts for w in WORDS[s]]
    out, n = [], 0
    while n < size_chars:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(5, 14)))
        line += rng.choice([".", ",", "!", "?", ";"]) + "\n"
        out.append(line)
        n += len(line)
    return "".join(out)


def write_repeated(path, prefix, unit_bytes, total_bytes):
    with open(path, "wb") as f:
        f.write(prefix)
        written = 0
        while written < total_bytes:
            f.write(unit_bytes)
            written += len(unit_bytes)


class SmallTexts:
    """Small texts cut from pools of generated text: fast enough for 100,000 files."""

    def __init__(self, rng):
        self.rng = rng
        self.pools = {s: generate_text(rng, 256 * 1024, [s]) for s in WORDS}
        self.pools["emoji"] = generate_text(rng, 64 * 1024, ["latin", "emoji"])

    def make(self):
        """The bytes of one small file and whether they are UTF-8 (else a UTF-8 copy is made)."""
        rng = self.rng
        kind = rng.random()
        if kind < 0.10:
            script, encoding = rng.choice(ANSI_SCRIPTS), "ansi"
        elif kind < 0.20:
            script, encoding = rng.choice(BMP_SCRIPTS), rng.choice(["utf16le", "utf16be"])
        else:
            script, encoding = rng.choice(list(self.pools)), "utf8"
        pool = self.pools[script]
        length = rng.randint(150, 2500)
        start = rng.randrange(len(pool) - length)
        text = pool[start:start + length]
        if rng.random() < 0.2:
            text = text.replace("\n", "\r\n")
        if encoding == "utf8":
            return BOM_UTF8 + text.encode("utf-8"), True
        if encoding == "utf16le":
            return b"\xff\xfe" + text.encode("utf-16-le"), False
        if encoding == "utf16be":
            return b"\xfe\xff" + text.encode("utf-16-be"), False
        return text.encode("cp1252", errors="replace"), False


def utf8_copy(data):
    """The text as runemeter decodes it, as UTF-8 without a byte order mark."""
    return (decode_like_runemeter(data) or "").encode("utf-8")


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_corpus(corpus, size_mb, n_files, text_chars):
    """Makes the corpus unless the marker of the same version and sizes is there."""
    marker = os.path.join(corpus, ".complete-v%d-%dmb-%dfiles" % (CORPUS_VERSION, size_mb,
                                                                     n_files))
    if os.path.exists(marker):
        return
    started = time.perf_counter()
    print("generating the corpus in %s ..." % corpus, file=sys.stderr)
    # Only what this script makes is removed: --corpus may name a folder holding other files.
    os.makedirs(corpus, exist_ok=True)
    for name in os.listdir(corpus):
        path = os.path.join(corpus, name)
        if name in ("large", "small", "zip", "utf8"):
            shutil.rmtree(path)
        elif name.startswith(".complete-"):
            os.unlink(path)
    rng = random.Random(20261206)
    large = os.path.join(corpus, "large")
    utf8 = os.path.join(corpus, "utf8")
    os.makedirs(large)
    os.makedirs(os.path.join(utf8, "large"))
    all_scripts = list(WORDS)
    # One large multilingual UTF-8 file: 8 MB of generated text, repeated with variation.
    chunks = [generate_text(rng, 2 * 1024 * 1024, all_scripts).encode("utf-8") for _ in range(4)]
    with open(os.path.join(large, "mixed-utf8.txt"), "wb") as f:
        f.write(BOM_UTF8)
        written = 0
        while written < size_mb * 1024 * 1024:
            c = chunks[rng.randrange(len(chunks))]
            f.write(c)
            written += len(c)
    mixed_size = os.path.getsize(os.path.join(large, "mixed-utf8.txt"))
    # One character repeated (long runs stress the counting loop), as large as the mixed file.
    write_repeated(os.path.join(large, "repeated-utf8.txt"), BOM_UTF8, b"e" * (1 << 20),
                   mixed_size - len(BOM_UTF8))
    # UTF-16 and ANSI files, with UTF-8 copies for the tools that read only UTF-8.
    text = generate_text(rng, text_chars, ["latin", "greek", "cyrillic", "cjk"])
    encoded = {
        "utf16le.txt": b"\xff\xfe" + text.encode("utf-16-le"),
        "utf16be.txt": b"\xfe\xff" + text[: len(text) // 2].encode("utf-16-be"),
        "ansi-cp1252.txt": generate_text(rng, 2 * text_chars, ANSI_SCRIPTS).encode(
            "cp1252", errors="replace"),
    }
    for name, data in encoded.items():
        write_file(os.path.join(large, name), data)
        write_file(os.path.join(utf8, "large", name), utf8_copy(data))
    # Many small files in sub-folders of 1,000 each.
    texts = SmallTexts(rng)
    per_folder = 1000
    for i in range(n_files):
        rel = os.path.join("d%03d" % (i // per_folder), "f%06d.txt" % i)
        if i % per_folder == 0:
            os.makedirs(os.path.dirname(os.path.join(corpus, "small", rel)))
        data, is_utf8 = texts.make()
        write_file(os.path.join(corpus, "small", rel), data)
        if not is_utf8:
            copy = os.path.join(utf8, "small", rel)
            os.makedirs(os.path.dirname(copy), exist_ok=True)
            write_file(copy, utf8_copy(data))
    # One zip of as many small members; its text for recode and unihist in one UTF-8 file.
    os.makedirs(os.path.join(corpus, "zip"))
    with zipfile.ZipFile(os.path.join(corpus, "zip", "members.zip"), "w",
                         zipfile.ZIP_DEFLATED) as z, \
            open(os.path.join(utf8, "zip-members.txt"), "wb") as joined:
        for i in range(n_files):
            data, _ = texts.make()
            z.writestr("m%06d.txt" % i, data)
            joined.write(utf8_copy(data))
    open(marker, "w").close()
    print("corpus ready in %.0f s" % (time.perf_counter() - started), file=sys.stderr)


# ---- the reference: Python's Counter


def decode_like_runemeter(data):
    """The decoding rules of the program, in plain Python (signature decides)."""
    if len(data) < 3:
        return None
    if data.startswith(BOM_UTF8):
        body = data[3:]
        body = body[: body.find(b"\0")] if b"\0" in body else body
        return body.decode("utf-8", errors="replace")
    if data.startswith(b"\xff\xfe") or data.startswith(b"\xfe\xff"):
        enc = "utf-16-le" if data.startswith(b"\xff\xfe") else "utf-16-be"
        body = data[2:]
        body = body[: len(body) - len(body) % 2]
        text = body.decode(enc, errors="surrogatepass")
        zero = text.find("\0")
        return text if zero < 0 else text[:zero]
    body = data[: data.find(b"\0")] if b"\0" in data else data
    # cp1252 with the five undefined bytes mapped to the same code points.
    return body.decode("cp1252", errors="ignore") if all(
        b not in body for b in (b"\x81", b"\x8d", b"\x8f", b"\x90", b"\x9d")) else "".join(
        chr(b) if b in (0x81, 0x8D, 0x8F, 0x90, 0x9D) else bytes([b]).decode("cp1252")
        for b in body)


def counter_of_files(paths, zips):
    counts = collections.Counter()
    for p in paths:
        with open(p, "rb") as f:
            text = decode_like_runemeter(f.read())
        if text:
            counts.update(text)
    for z in zips:
        with zipfile.ZipFile(z) as archive:
            for name in archive.namelist():
                if name.lower().endswith(".txt"):
                    text = decode_like_runemeter(archive.read(name))
                    if text:
                        counts.update(text)
    return counts


def to_code_units(counts):
    """Code point counts to UTF-16 code unit counts, as the program counts."""
    units = collections.Counter()
    for ch, n in counts.items():
        cp = ord(ch) if isinstance(ch, str) else ch
        if cp > 0xFFFF:
            cp -= 0x10000
            units[0xD800 + (cp >> 10)] += n
            units[0xDC00 + (cp & 0x3FF)] += n
        else:
            units[cp] += n
    return units


# ---- running and measuring


class Measured:
    """One timed run of a tool: wall seconds, peak RSS in MB (ru_maxrss), its output."""

    def __init__(self, seconds, rss_mb, out):
        self.seconds, self.rss_mb, self.out = seconds, rss_mb, out


class ToolFailed(Exception):
    pass


TIME = "/usr/bin/time"  # GNU time (Debian package time): the peak memory of the child alone
TIMEOUT = [900.0]  # seconds one tool may take; set from --timeout


def run_measured(argv, stdin_path=None, capture=True):
    """Runs argv and measures it. A run over the time limit is stopped and fails: a tool that
    hangs (unihist on a cut UTF-8 sequence) must not hang the benchmark."""
    stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
    # ru_maxrss of a child started from this process starts at this process's own peak, so the
    # child is started through a small program that reports its peak instead.
    rss_file = tempfile.NamedTemporaryFile(delete=False)
    rss_file.close()
    wrapped = [TIME, "-f", "%M", "-o", rss_file.name] + argv if os.access(TIME, os.X_OK) else argv
    with tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        proc = subprocess.Popen(wrapped, stdin=stdin,
                                stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                                stderr=err, start_new_session=True)
        timer = threading.Timer(TIMEOUT[0], lambda: os.killpg(proc.pid, signal.SIGKILL))
        timer.start()
        try:
            out = proc.stdout.read() if capture else b""
            _, status, usage = os.wait4(proc.pid, 0)
        finally:
            timer.cancel()
        elapsed = time.perf_counter() - start
        if stdin_path:
            stdin.close()
        try:
            with open(rss_file.name) as f:
                lines = f.read().split()
            rss_mb = int(lines[-1]) / 1024.0 if wrapped is not argv else usage.ru_maxrss / 1024.0
        except (ValueError, IndexError):
            rss_mb = usage.ru_maxrss / 1024.0
        finally:
            os.unlink(rss_file.name)
        code = os.waitstatus_to_exitcode(status)
        if elapsed >= TIMEOUT[0]:
            raise ToolFailed("%s stopped after %.0f s (--timeout)" % (" ".join(argv[:3]), elapsed))
        if code != 0:
            err.seek(0)
            raise ToolFailed("%s exited with %d: %s" % (
                " ".join(argv[:3]), code, err.read().decode("utf-8", "replace").strip()[:500]))
    return Measured(elapsed, rss_mb, out)


def run_on_inputs(argv, inputs, list_file, capture=True):
    """argv reading inputs on standard input: a file directly, many through xargs cat."""
    if len(inputs) == 1:
        return run_measured(argv, stdin_path=inputs[0], capture=capture)
    script = 'set -o pipefail; xargs -0 -a "$1" cat | "${@:2}"'
    return run_measured(["bash", "-c", script, "bash", list_file] + argv, capture=capture)


def best_of(repeat, fn):
    return min((fn() for _ in range(max(1, repeat))), key=lambda m: m.seconds)


def write_list(paths, directory, name):
    path = os.path.join(directory, name)
    with open(path, "wb") as f:
        f.write(b"\0".join(os.fsencode(p) for p in paths))
    return path


def warm(paths, list_file):
    """Reads every file once so each tool finds the text in the page cache."""
    run_measured(["xargs", "-0", "-a", write_list(paths, os.path.dirname(list_file), "warm"),
                  "cat"], capture=False)


def runemeter_counts(cli, args, files=None):
    """runemeter's code unit counts; fails unless it read the number of files expected."""
    doc = json.loads(run_measured([cli, "--format", "json"] + args).out)
    if files is not None and doc["filesRead"] != files:
        raise ToolFailed("runemeter read %d files, %d expected" % (doc["filesRead"], files))
    return {row["code"]: row["frequency"] for row in doc["rows"]
            if row["code"] is not None and row["frequency"] > 0}


def counter_measured(paths, zips, directory):
    # The file list goes through a file: 100,000 names do not fit on a command line.
    lst = os.path.join(directory, "counter.json")
    with open(lst, "w") as f:
        json.dump({"paths": paths, "zips": zips}, f)
    code = ("import sys, json; sys.path.insert(0, %r); import bench; "
            "a = json.load(open(%r)); c = bench.counter_of_files(a['paths'], a['zips']); "
            "print(json.dumps({str(k): v for k, v in bench.to_code_units(c).items()}))"
            % (HERE, lst))
    m = run_measured([sys.executable, "-c", code])
    return m, {int(k): v for k, v in json.loads(m.out).items()}


RECODE_ENTRY = re.compile(rb"(\d+)  ([0-9A-F]{4,6})(?= |$)", re.M)


def parse_recode(out):
    """recode's table: entries "COUNT  HHHH MNEMONIC" side by side, the count right-aligned.
    A mnemonic may be digits (U+00BD is "12"), but it is followed by at least three blanks, so
    a count is recognised by the exactly two blanks and four hex digits after it."""
    counts = {}
    for count, code in RECODE_ENTRY.findall(out):
        cp = int(code, 16)
        if cp in counts:
            raise ToolFailed("recode output not understood: U+%04X twice" % cp)
        counts[cp] = int(count)
    if out.strip() and not counts:
        raise ToolFailed("recode output not understood: %r" % out[:200])
    return counts


UNIHIST_LINE = re.compile(rb"^\s*[0-9.]+\s+(\d+)\s+0x([0-9A-Fa-f]+)", re.M)


def parse_unihist(out):
    """unihist -g: one line per character, "PERCENT <TAB> COUNT <TAB> 0xHHHHHH"."""
    counts = {int(code, 16): int(count) for count, code in UNIHIST_LINE.findall(out)}
    if len(counts) != sum(1 for line in out.splitlines() if line.strip()):
        raise ToolFailed("unihist output not understood: %r" % out[:200])
    return counts


def recode_expected(units):
    """What recode should report, from runemeter's code unit counts."""
    expected = {c: n for c, n in units.items()
                if not 0xD800 <= c <= 0xDFFF and c != 0xFEFF}
    outside_bmp = sum(n for c, n in units.items() if 0xD800 <= c <= 0xDBFF)
    if outside_bmp:
        expected[0xFFFD] = expected.get(0xFFFD, 0) + outside_bmp
    return expected


def unihist_as_units(counts, boms):
    """unihist's code point counts as runemeter counts them: code units, marks not counted."""
    units = dict(to_code_units(counts))
    if boms:
        units[0xFEFF] = units.get(0xFEFF, 0) - boms
        if units[0xFEFF] == 0:
            del units[0xFEFF]
    return units


def differences(ours, theirs, tool, limit=10):
    keys = sorted(k for k in set(ours) | set(theirs) if ours.get(k, 0) != theirs.get(k, 0))
    return ["U+%04X: runemeter %d, %s %d" % (k, ours.get(k, 0), tool, theirs.get(k, 0))
            for k in keys[:limit]] + (["... %d more" % (len(keys) - limit)]
                                      if len(keys) > limit else [])


def count_boms(paths):
    boms = 0
    for p in paths:
        with open(p, "rb") as f:
            boms += f.read(3) == BOM_UTF8
    return boms


def count_members(zip_path):
    with zipfile.ZipFile(zip_path) as archive:
        return sum(1 for n in archive.namelist() if n.lower().endswith(".txt"))


def make_sample(paths, limit_bytes, path):
    """The start of the text of paths as one UTF-8 file with a mark, cut at a character."""
    with open(path, "wb") as out:
        out.write(BOM_UTF8)
        left = limit_bytes
        for p in paths:
            with open(p, "rb") as f:
                data = f.read()
            if data.startswith(BOM_UTF8):
                data = data[3:]
            if len(data) > left:
                cut = left
                while cut > 0 and (data[cut] & 0xC0) == 0x80:
                    cut -= 1  # not inside a multi-byte character
                out.write(data[:cut])
                break
            out.write(data)
            left -= len(data)


# ---- cases


class Case:
    def __init__(self, name, title, paths, zips, cli_args, tool_inputs, note=""):
        self.name, self.title = name, title
        self.paths, self.zips = paths, zips  # what runemeter and Counter read
        self.cli_args = cli_args
        self.tool_inputs = tool_inputs  # the UTF-8 files recode and unihist read
        self.note = note


def build_cases(corpus):
    large = os.path.join(corpus, "large")
    utf8 = os.path.join(corpus, "utf8")
    small = os.path.join(corpus, "small")
    small_files = sorted(os.path.join(d, f) for d, _, fs in os.walk(small) for f in fs)

    def utf8_input(p):
        copy = os.path.join(utf8, os.path.relpath(p, corpus))
        return copy if os.path.exists(copy) else p

    def large_file(n):
        return os.path.join(large, n)

    utf16 = [large_file("utf16be.txt"), large_file("utf16le.txt")]
    converted = "recode, unihist: UTF-8 copies made with the corpus (they read only UTF-8)"
    return {
        "mixed": Case("mixed", "one large UTF-8 file of mixed scripts",
                      [large_file("mixed-utf8.txt")], [], [large_file("mixed-utf8.txt")],
                      [large_file("mixed-utf8.txt")]),
        "repeated": Case("repeated", "one large file of one repeated character",
                         [large_file("repeated-utf8.txt")], [],
                         [large_file("repeated-utf8.txt")], [large_file("repeated-utf8.txt")]),
        "small": Case("small", "%d small files in sub-folders" % len(small_files), small_files,
                      [], ["--subfolders", "--no-zips", small],
                      [utf8_input(p) for p in small_files],
                      "recode, unihist: through xargs cat; the UTF-16 and ANSI files as UTF-8 "
                      "copies made with the corpus"),
        "zip": Case("zip", "one zip of small members", [], [os.path.join(corpus, "zip",
                                                                          "members.zip")],
                    [os.path.join(corpus, "zip", "members.zip")],
                    [os.path.join(utf8, "zip-members.txt")],
                    "recode, unihist: the members' text as one UTF-8 file made with the corpus "
                    "(they read no zip)"),
        "utf16": Case("utf16", "UTF-16 BE and LE files", utf16, [],
                      ["--mask", "utf16*.txt", large], [utf8_input(p) for p in utf16],
                      converted),
        "ansi": Case("ansi", "one Windows-1252 file", [large_file("ansi-cp1252.txt")], [],
                     [large_file("ansi-cp1252.txt")],
                     [utf8_input(large_file("ansi-cp1252.txt"))], converted),
    }


class Result:
    def __init__(self, tool, m, size_bytes, files, chars, note=""):
        self.tool, self.m, self.size_bytes, self.files, self.chars, self.note = (
            tool, m, size_bytes, files, chars, note)

    def chars_per_second(self):
        return self.chars / self.m.seconds


def run_case(case, args, work):
    """Checks the tools' counts against runemeter's, then times them. Returns the problems
    (then no time) and the results, runemeter's first."""
    failures = []
    size = sum(os.path.getsize(p) for p in case.paths + case.zips)
    files = len(case.paths) + sum(count_members(z) for z in case.zips)
    tool_size = sum(os.path.getsize(p) for p in case.tool_inputs)
    tool_files = 0 if case.zips else len(case.tool_inputs)  # one joined file for the zip
    tool_list = write_list(case.tool_inputs, work, "tool-inputs")
    warm(case.paths + case.zips + case.tool_inputs, tool_list)

    units = runemeter_counts(args.cli, case.cli_args, files)
    chars = sum(units.values())
    if chars == 0:
        return ["runemeter counted no character"], []
    results = []

    def check(tool, theirs, ours=units):
        diff = differences(ours, theirs, tool)
        if diff:
            failures.append("%s disagrees with runemeter:\n    %s" % (tool, "\n    ".join(diff)))
        return not diff

    # Counter: every count.
    m, counts = counter_measured(case.paths, case.zips, work)
    if check("Counter", counts):
        results.append(Result("Counter", m, size, files, chars))

    # recode: the whole case.
    if shutil.which("recode"):
        try:
            m = run_on_inputs(["recode", "utf-8/..count-characters"], case.tool_inputs, tool_list)
            if check("recode", parse_recode(m.out), recode_expected(units)):
                results.append(Result("recode", m, tool_size, tool_files, chars))
        except ToolFailed as e:
            failures.append(str(e))
    else:
        print("  recode: not installed (Debian package recode), skipped")

    # unihist: the whole case, or a sample of its start when the case is large.
    if shutil.which("unihist"):
        try:
            limit = int(args.unihist_max_mb * 1e6)
            if limit and tool_size > limit:
                sample = os.path.join(work, "unihist-sample.txt")
                make_sample(case.tool_inputs, limit, sample)
                sample_units = runemeter_counts(args.cli, [sample], 1)
                m = run_on_inputs(["unihist", "-g"], [sample], tool_list)
                if check("unihist", unihist_as_units(parse_unihist(m.out), 1), sample_units):
                    results.append(Result(
                        "unihist", m, os.path.getsize(sample), 0, sum(sample_units.values()),
                        "first %.0f MB only" % (limit / 1e6)))
            else:
                m = run_on_inputs(["unihist", "-g"], case.tool_inputs, tool_list)
                boms = count_boms(case.tool_inputs)
                if check("unihist", unihist_as_units(parse_unihist(m.out), boms)):
                    results.append(Result("unihist", m, tool_size, tool_files, chars))
        except ToolFailed as e:
            failures.append(str(e))
    else:
        print("  unihist: not installed (Debian package uniutils), skipped")

    if failures:
        return failures, []
    # Timed only once every count agrees.
    m = best_of(args.repeat, lambda: run_measured([args.cli] + case.cli_args, capture=False))
    ours = Result("runemeter", m, size, files, chars)
    cat_inputs = case.paths + case.zips
    cat_list = write_list(cat_inputs, work, "cat-inputs")
    cat_argv = ["cat"] + cat_inputs if len(cat_inputs) == 1 else ["xargs", "-0", "-a", cat_list,
                                                                   "cat"]
    m = best_of(args.repeat, lambda: run_measured(cat_argv, capture=False))
    # For the zip, files/s counts members: cat reads the archive as a whole, so it gets none.
    return [], [ours, Result("cat", m, size, 0 if case.zips else files, chars)] + results


def ratio(ours, other):
    return ours.chars_per_second() / other.chars_per_second()


def print_case(case, results, many_files):
    ours = results[0]
    print("%-10s %9s %10s %10s %9s %10s" % ("tool", "seconds", "MB/s", "files/s" if many_files
                                             else "", "peak RSS", "rm ratio"))
    for r in results:
        print("%-10s %9.3f %10.1f %10s %7.0f M %10s  %s" % (
            r.tool, r.m.seconds, r.size_bytes / 1e6 / r.m.seconds,
            "%.0f" % (r.files / r.m.seconds) if many_files and r.files else "",
            r.m.rss_mb, "" if r is ours else "%.2fx" % ratio(ours, r), r.note))


# The text choices timed by the modes case: (label, options, on the copy without signature).
MODES = [
    ("default", [], False),
    ("codepoint", ["--unit", "codepoint"], False),
    ("grapheme", ["--unit", "grapheme"], False),
    ("nfc", ["--normalize", "nfc"], False),
    ("nfd", ["--normalize", "nfd"], False),
    ("auto, no signature", ["--unsigned", "auto"], True),
    ("utf8, no signature", ["--unsigned", "utf8"], True),
]


def run_modes(args, work):
    """Times runemeter-cli in each text choice on the large mixed file; returns problems.

    The runs are interleaved (one of each mode, --repeat times over) and the median counted, so
    that a load on the machine falls on every mode alike. With --compare-cli a second build runs
    in the same rounds, and its ratios are printed beside."""
    mixed = os.path.join(args.corpus, "large", "mixed-utf8.txt")
    unsigned = os.path.join(work, "mixed-unsigned.txt")
    # Copied by the kernel (sendfile), as cp copies: a copy written through small user-space
    # writes was measured to read about 15% slower from the page cache, in every mode alike.
    with open(mixed, "rb") as src, open(unsigned, "wb") as dst:
        offset, left = len(BOM_UTF8), os.path.getsize(mixed) - len(BOM_UTF8)
        while left > 0:
            n = os.sendfile(dst.fileno(), src.fileno(), offset, left)
            offset, left = offset + n, left - n
    warm([mixed, unsigned], os.path.join(work, "modes-list"))
    clis = [args.cli] + ([args.compare_cli] if args.compare_cli else [])
    for cli in clis:
        if runemeter_counts(cli, ["--unsigned", "auto", unsigned]) != runemeter_counts(
                cli, [mixed]):
            return ["--unsigned auto on the copy without signature counts otherwise (%s)" % cli]
    size = os.path.getsize(mixed)
    times = {(cli, label): [] for cli in clis for label, _, _ in MODES}
    rss = {}
    for _ in range(args.repeat):
        for label, options, on_copy in MODES:
            for cli in clis:
                m = run_measured([cli] + options + [unsigned if on_copy else mixed],
                                 capture=False)
                times[(cli, label)].append(m.seconds)
                rss[(cli, label)] = max(rss.get((cli, label), 0), m.rss_mb)
    def median(xs):
        xs = sorted(xs)
        return xs[len(xs) // 2] if len(xs) % 2 else (xs[len(xs) // 2 - 1] + xs[len(xs) // 2]) / 2
    for cli in clis:
        print("%s (median of %d, interleaved)" % (cli, args.repeat))
        print("%-20s %8s %9s %8s %7s" % ("mode", "seconds", "MB/s", "/default", "RSS M"))
        base = median(times[(cli, MODES[0][0])])
        for label, _, _ in MODES:
            t = median(times[(cli, label)])
            print("%-20s %8.3f %9.1f %7.2fx %7.0f" % (label, t, size / 1e6 / t, base / t,
                                                      rss[(cli, label)]))
    return []


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "release", "bin",
                                                      "runemeter-cli"))
    parser.add_argument("--corpus", default=None,
                        help="corpus folder (default bench/corpus, bench/corpus/quick with "
                             "--quick)")
    parser.add_argument("--size-mb", type=int, default=None,
                        help="size of each large UTF-8 file (default 300, 8 with --quick)")
    parser.add_argument("--files", type=int, default=None,
                        help="small files, and zip members (default 100000, 2000 with --quick)")
    parser.add_argument("--repeat", type=int, default=3,
                        help="runs of runemeter and cat per case, the best counted (the other "
                             "tools run once; the modes case counts the median)")
    parser.add_argument("--cases", default=",".join(ALL_CASES),
                        help="comma-separated cases among %s" % ",".join(ALL_CASES))
    parser.add_argument("--compare-cli", default=None,
                        help="modes case: a second runemeter-cli timed in the same rounds")
    parser.add_argument("--quick", action="store_true",
                        help="a small corpus, for trying the script out")
    parser.add_argument("--unihist-max-mb", type=float, default=None,
                        help="unihist reads a sample of this size of larger cases (default 4, "
                             "1 with --quick; 0: all of every case)")
    parser.add_argument("--timeout", type=float, default=900,
                        help="seconds one run of a tool may take before the case fails")
    args = parser.parse_args()
    cases = [c.strip() for c in args.cases.split(",") if c.strip()]
    unknown = [c for c in cases if c not in ALL_CASES]
    if unknown or not cases:
        parser.error("unknown case %s; the cases are %s" % (",".join(unknown) or "(none)",
                                                            ",".join(ALL_CASES)))
    if args.size_mb is None:
        args.size_mb = 8 if args.quick else 300
    if args.files is None:
        args.files = 2000 if args.quick else 100000
    if args.unihist_max_mb is None:
        args.unihist_max_mb = 1 if args.quick else 4
    if args.size_mb < 1 or args.files < 1 or args.repeat < 1:
        parser.error("--size-mb, --files and --repeat must be at least 1")
    if args.unihist_max_mb < 0 or args.timeout <= 0:
        parser.error("--unihist-max-mb must not be negative, --timeout must be positive")
    TIMEOUT[0] = args.timeout
    if args.corpus is None:
        args.corpus = os.path.join(HERE, "corpus", "quick") if args.quick else os.path.join(
            HERE, "corpus")
    if not os.access(args.cli, os.X_OK):
        raise SystemExit("no runemeter-cli at %s (build the release preset first)" % args.cli)

    make_corpus(args.corpus, args.size_mb, args.files,
                512 * 1024 if args.quick else 4 * 1024 * 1024)
    all_cases = build_cases(args.corpus)
    print("runemeter-cli: %s" % args.cli)
    print("ratios: runemeter's characters per second over the tool's on the same text")
    failed, summary = [], []
    with tempfile.TemporaryDirectory(prefix="runemeter-bench-") as work:
        for name in cases:
            if name == "modes":
                print("\n== modes: text choices on the mixed file")
                problems = run_modes(args, work)
                for p in problems:
                    print("  FAILED: " + p)
                    failed.append(name)
                continue
            case = all_cases[name]
            size = sum(os.path.getsize(p) for p in case.paths + case.zips)
            print("\n== %s: %s (%.1f MB)" % (name, case.title, size / 1e6))
            if case.note:
                print("  " + case.note)
            try:
                problems, results = run_case(case, args, work)
            except ToolFailed as e:
                problems, results = [str(e)], []
            if problems:
                print("  FAILED, no time reported:")
                for p in problems:
                    print("  " + p)
                failed.append(name)
                continue
            print_case(case, results, name in MANY_FILES)
            summary.append((name, size, results))
        if summary:
            print("\n== summary (runemeter)")
            print("%-9s %8s %8s %9s %9s %7s %8s %8s %8s %8s" % (
                "case", "MB", "seconds", "MB/s", "files/s", "RSS M", "/cat", "/Counter",
                "/recode", "/unihist"))
            for name, size, results in summary:
                ours = results[0]
                by_tool = {r.tool: r for r in results}
                print("%-9s %8.1f %8.3f %9.1f %9s %7.0f %s" % (
                    name, size / 1e6, ours.m.seconds, size / 1e6 / ours.m.seconds,
                    "%.0f" % (ours.files / ours.m.seconds) if name in MANY_FILES else "",
                    ours.m.rss_mb, " ".join("%8s" % ("%.2fx" % ratio(ours, by_tool[t])
                                                      if t in by_tool else "-")
                                            for t in ("cat", "Counter", "recode", "unihist"))))
    large = os.path.join(args.corpus, "large")
    largest = max(os.path.getsize(os.path.join(large, f)) for f in os.listdir(large))
    print("largest file %.1f MB; memory limit 3 x largest + 64 MB = %.0f MB" % (
        largest / 1e6, 3 * largest / 2**20 + 64))
    if failed:
        print("FAILED cases: %s" % ", ".join(failed))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

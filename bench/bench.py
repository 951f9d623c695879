#!/usr/bin/env python3
"""Benchmark of runemeter-cli against Python's collections.Counter on the same files.

Generates a reproducible corpus (seeded) under bench/corpus/ on first use, warms the page
cache, checks that both tools give the same counts, then prints MB/s, the ratio and the peak
memory of each case. Never part of the tests: run it by hand.

    bench/bench.py [--cli build/release/bin/runemeter-cli] [--size-mb 200] [--repeat 3]
"""

import argparse
import collections
import json
import os
import random
import subprocess
import sys
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

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


def make_corpus(corpus, size_mb):
    marker = os.path.join(corpus, ".complete-%d" % size_mb)
    if os.path.exists(marker):
        return
    print("generating the corpus in %s ..." % corpus, file=sys.stderr)
    rng = random.Random(20261206)
    os.makedirs(os.path.join(corpus, "large"), exist_ok=True)
    all_scripts = list(WORDS)
    # One large multilingual UTF-8 file: 8 MB of generated text, repeated with variation.
    chunks = [generate_text(rng, 2 * 1024 * 1024, all_scripts).encode("utf-8") for _ in range(4)]
    with open(os.path.join(corpus, "large", "mixed-utf8.txt"), "wb") as f:
        f.write(b"\xef\xbb\xbf")
        written = 0
        while written < size_mb * 1024 * 1024:
            c = chunks[rng.randrange(len(chunks))]
            f.write(c)
            written += len(c)
    # Skewed text: one character repeated (long runs stress the counting loop).
    write_repeated(os.path.join(corpus, "large", "skewed-utf8.txt"), b"\xef\xbb\xbf",
                   b"e" * (1 << 20), (size_mb // 2) * 1024 * 1024)
    # UTF-16 and ANSI files.
    text = generate_text(rng, 4 * 1024 * 1024, ["latin", "greek", "cyrillic", "cjk"])
    with open(os.path.join(corpus, "large", "utf16le.txt"), "wb") as f:
        f.write(b"\xff\xfe" + text.encode("utf-16-le"))
    with open(os.path.join(corpus, "large", "utf16be.txt"), "wb") as f:
        f.write(b"\xfe\xff" + text[: len(text) // 2].encode("utf-16-be"))
    ansi = generate_text(rng, 8 * 1024 * 1024, ["latin", "french", "german"])
    with open(os.path.join(corpus, "large", "ansi-cp1252.txt"), "wb") as f:
        f.write(ansi.encode("cp1252", errors="replace"))
    # Many small files in sub-folders, and one zip of small members.
    for i in range(5000):
        folder = os.path.join(corpus, "small", "d%02d" % (i % 50))
        os.makedirs(folder, exist_ok=True)
        scripts = [rng.choice(all_scripts[:-1])]
        small = generate_text(rng, rng.randint(200, 3000), scripts)
        with open(os.path.join(folder, "f%05d.txt" % i), "wb") as f:
            f.write(b"\xef\xbb\xbf" + small.encode("utf-8"))
    with zipfile.ZipFile(os.path.join(corpus, "small", "members.zip"), "w",
                         zipfile.ZIP_DEFLATED) as z:
        for i in range(2000):
            small = generate_text(rng, rng.randint(200, 3000), ["latin", "french"])
            z.writestr("m%05d.txt" % i, small.encode("cp1252", errors="replace"))
    open(marker, "w").close()


def decode_like_runemeter(data):
    """The decoding rules of the program, in plain Python (signature decides)."""
    if len(data) < 3:
        return None
    if data.startswith(b"\xef\xbb\xbf"):
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
        cp = ord(ch)
        if cp > 0xFFFF:
            cp -= 0x10000
            units[0xD800 + (cp >> 10)] += n
            units[0xDC00 + (cp & 0x3FF)] += n
        else:
            units[cp] += n
    return units


def run_measured(argv, stdout=subprocess.PIPE):
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdout=stdout, stderr=subprocess.DEVNULL)
    out = proc.stdout.read() if stdout == subprocess.PIPE else b""
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit("failed: %s" % " ".join(argv))
    return elapsed, usage.ru_maxrss / 1024.0, out


def python_counter_measured(paths, zips):
    # The file list goes through a file: 100,000 names do not fit on a command line.
    import tempfile
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as lst:
        json.dump({"paths": paths, "zips": zips}, lst)
    code = ("import sys, json; sys.path.insert(0, %r); import bench; "
            "a = json.load(open(%r)); c = bench.counter_of_files(a['paths'], a['zips']); "
            "print(json.dumps({str(k): v for k, v in bench.to_code_units(c).items()}))"
            % (HERE, lst.name))
    try:
        elapsed, rss, out = run_measured([sys.executable, "-c", code])
    finally:
        os.unlink(lst.name)
    return elapsed, rss, {int(k): v for k, v in json.loads(out).items()}


def runemeter_counts(cli, args):
    out = subprocess.run([cli, "--format", "json"] + args, check=True,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    doc = json.loads(out)
    return {row["code"]: row["frequency"] for row in doc["rows"]
            if row["code"] is not None and row["frequency"] > 0}


def best_of(repeat, fn):
    results = [fn() for _ in range(repeat)]
    return min(results, key=lambda r: r[0])


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(ROOT, "build", "release", "bin",
                                                      "runemeter-cli"))
    parser.add_argument("--corpus", default=os.path.join(HERE, "corpus"))
    parser.add_argument("--size-mb", type=int, default=200,
                        help="size of the large UTF-8 file (the corpus is about 1.5 times this)")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        raise SystemExit("no runemeter-cli at %s (build the release preset first)" % args.cli)

    make_corpus(args.corpus, args.size_mb)
    large = os.path.join(args.corpus, "large")
    small = os.path.join(args.corpus, "small")
    small_files = sorted(os.path.join(d, f) for d, _, fs in os.walk(small) for f in fs
                         if f.endswith(".txt"))
    cases = [
        ("large mixed UTF-8", [os.path.join(large, "mixed-utf8.txt")], [],
         [os.path.join(large, "mixed-utf8.txt")]),
        ("one repeated character", [os.path.join(large, "skewed-utf8.txt")], [],
         [os.path.join(large, "skewed-utf8.txt")]),
        ("UTF-16 and ANSI", [os.path.join(large, n) for n in
                              ("ansi-cp1252.txt", "utf16be.txt", "utf16le.txt")], [],
         ["--mask", "ansi*.txt;utf16*.txt", large]),
        ("5,000 small files and a 2,000-member zip", small_files,
         [os.path.join(small, "members.zip")], ["--subfolders", small]),
    ]
    largest = max(os.path.getsize(os.path.join(large, f)) for f in os.listdir(large))
    print("%-42s %9s %9s %9s %9s %7s %9s" % ("case", "MB", "rm MB/s", "py MB/s", "ratio",
                                              "rm RSS", "py RSS"))
    failures = 0
    for name, paths, zips, cli_args in cases:
        size = sum(os.path.getsize(p) for p in paths + zips) / 1e6
        run_measured([args.cli] + cli_args, stdout=subprocess.DEVNULL)  # warm the page cache
        ours = runemeter_counts(args.cli, cli_args)
        py_time, py_rss, theirs = python_counter_measured(paths, zips)
        if ours != theirs:
            diff = {k: (ours.get(k), theirs.get(k)) for k in set(ours) | set(theirs)
                    if ours.get(k) != theirs.get(k)}
            print("%s: counts differ: %s" % (name, dict(list(diff.items())[:10])))
            failures += 1
            continue
        rm_time, rm_rss, _ = best_of(args.repeat, lambda: run_measured(
            [args.cli] + cli_args, stdout=subprocess.DEVNULL))
        print("%-42s %9.1f %9.1f %9.1f %8.1fx %6.0fM %8.0fM" % (
            name, size, size / rm_time, size / py_time, py_time / rm_time, rm_rss, py_rss))
    print("largest file %.1f MB; memory limit 3 x largest + 64 MB = %.0f MB" % (
        largest / 1e6, 3 * largest / 2**20 + 64))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

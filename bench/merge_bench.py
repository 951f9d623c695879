#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Benchmark of `runemeter-cli merge`: a corpus counted in many shards, then merged.

Lists the text files of a corpus folder (by default the many small files of bench.py's corpus,
made on first use), splits them into --shards lists of about equal numbers of files, writes the
counts file of each shard with `runemeter-cli --files0-from LIST --format counts` (not timed),
checks that the merged counts file equals that of one run over the whole list (every other form
is printed from the same counts), then times the merge in each output form (wall clock, best
of --repeat). Never part of the tests: run it by hand.

    bench/merge_bench.py [--cli build/release/bin/runemeter-cli] [--shards 1000]
                         [--corpus FOLDER] [--files 100000] [--repeat 5]
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import bench  # noqa: E402  (the corpus generator)

FORMS = [["--format", "tsv"], ["--format", "table"], ["--format", "csv"], ["--format", "json"],
         ["--format", "counts"], ["--group-by", "block", "--format", "json"]]


def run(argv):
    done = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if done.returncode not in (0, 1):
        raise SystemExit("%s failed (%d): %s" % (" ".join(argv[:3]), done.returncode,
                                                  done.stderr.decode(errors="replace")))
    return done.stdout


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cli", default=os.path.join(bench.ROOT, "build", "release", "bin",
                                                      "runemeter-cli"))
    parser.add_argument("--corpus", default=None,
                        help="folder of *.txt files, searched with sub-folders (default: the "
                             "small files of bench.py's corpus)")
    parser.add_argument("--files", type=int, default=100000,
                        help="small files of the generated corpus (default 100000)")
    parser.add_argument("--shards", type=int, default=1000)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    if not os.access(args.cli, os.X_OK):
        raise SystemExit("no runemeter-cli at %s (build the release preset first)" % args.cli)
    if args.corpus is None:
        root = os.path.join(HERE, "corpus", "merge-%d" % args.files)
        bench.make_corpus(root, 1, args.files, 1024)
        args.corpus = os.path.join(root, "small")
    paths = sorted(os.path.join(d, f) for d, _, fs in os.walk(args.corpus) for f in fs
                   if f.endswith(".txt"))
    if len(paths) < args.shards:
        raise SystemExit("%d files: fewer than %d shards" % (len(paths), args.shards))
    with tempfile.TemporaryDirectory(prefix="runemeter-merge-") as work:
        counts = []
        per = len(paths) / args.shards
        for s in range(args.shards):
            part = paths[round(s * per):round((s + 1) * per)]
            lst = os.path.join(work, "list%04d" % s)
            with open(lst, "wb") as f:
                f.write(b"".join(os.fsencode(p) + b"\0" for p in part))
            counts.append(os.path.join(work, "part%04d.counts" % s))
            with open(counts[-1], "wb") as f:
                f.write(run([args.cli, "--files0-from", lst, "--format", "counts"]))
        whole = os.path.join(work, "all")
        with open(whole, "wb") as f:
            f.write(b"".join(os.fsencode(p) + b"\0" for p in paths))
        size = sum(os.path.getsize(c) for c in counts)
        codes = 0
        for c in counts:
            with open(c, "rb") as f:
                codes += next(int(line[6:]) for line in f if line.startswith(b"codes "))
        print("%d files in %d counts files (%.1f MB, %.0f codes each on average)" % (
            len(paths), len(counts), size / 1e6, codes / len(counts)))
        single = run([args.cli, "--files0-from", whole, "--format", "counts"])
        for form in FORMS:
            best = 1e30
            for _ in range(args.repeat):
                started = time.perf_counter()
                merged = run([args.cli, "merge"] + form + counts)
                best = min(best, time.perf_counter() - started)
            same = ""
            if form == ["--format", "counts"]:
                same = "same as the single run" if merged == single else "DIFFERS from the single run"
            print("merge %-28s %7.3f s  %s" % (" ".join(form), best, same))


if __name__ == "__main__":
    main()

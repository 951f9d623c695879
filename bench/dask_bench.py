#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""runemeter-dask on a local cluster against one runemeter-cli run over the same files.

    bench/dask_bench.py [CORPUS] [--make N] [--bin build/release/bin] [--workers 2] [--repeat 3]

CORPUS is a folder read with --subfolders and --mask '*.*' (default bench/corpus/small, the
100,000 small files bench/bench.py makes). --make N makes N small files there first, as
bench/bench.py does, when the folder does not exist yet. Checks that both print the same, then
runs the two programs in turn --repeat times (interleaved, so that load from elsewhere on the
machine falls on both) and prints the median wall-clock time of each, their ratio, and where
runemeter-dask spent its time (its --timings). The cluster's start is included: it is part of
what a user waits for. Never part of the tests: run it by hand.
"""

import argparse
import os
import random
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def make_small_corpus(folder, count):
    """count small files in sub-folders of 1,000, the mix of bench.py's 'small' case."""
    sys.path.insert(0, HERE)
    import bench  # noqa: E402 - the generator of the benchmark corpus

    texts = bench.SmallTexts(random.Random(20261206))
    for i in range(count):
        path = os.path.join(folder, "d%03d" % (i // 1000), "f%06d.txt" % i)
        if i % 1000 == 0:
            os.makedirs(os.path.dirname(path), exist_ok=True)
        bench.write_file(path, texts.make()[0])


def timed(command):
    started = time.perf_counter()
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - started
    if done.returncode not in (0, 1):
        raise SystemExit("%s exited with status %d: %s" % (
            command[0], done.returncode, done.stderr.decode("utf-8", "replace")[-500:]))
    return elapsed, done.stdout, done.stderr


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("corpus", nargs="?", default=os.path.join(HERE, "corpus", "small"))
    parser.add_argument("--make", type=int, default=0, metavar="N")
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "release", "bin"))
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--dask-option", action="append", default=[],
                        help="an option for runemeter-dask (--dask-option=--shards=4)")
    args = parser.parse_args()
    if args.make and not os.path.exists(args.corpus):
        make_small_corpus(args.corpus, args.make)
    common = ["--subfolders", "--mask", "*.*", args.corpus]
    cli = os.path.join(args.bin, "runemeter-cli")
    dask = [os.path.join(args.bin, "runemeter-dask"), "--workers", str(args.workers),
            "--timings"] + args.dask_option
    timed([cli] + common)  # the files into the page cache
    singles, spreads, phases = [], [], []
    for _ in range(args.repeat):
        seconds, single_out, _ = timed([cli] + common)
        singles.append(seconds)
        seconds, spread_out, messages = timed(dask + common)
        spreads.append(seconds)
        phases.append([line for line in messages.decode().splitlines()
                       if line.startswith("runemeter-dask: time")])
        if single_out != spread_out:
            print("runemeter-dask printed other output than runemeter-cli", file=sys.stderr)
            return 1
    single, spread = statistics.median(singles), statistics.median(spreads)
    print("runemeter-cli                 %8.2f s  (runs: %s)" % (
        single, " ".join("%.2f" % s for s in singles)))
    print("runemeter-dask, %d workers     %8.2f s  (runs: %s)" % (
        args.workers, spread, " ".join("%.2f" % s for s in spreads)))
    print("ratio dask / single           %8.2f" % (spread / single))
    median_run = spreads.index(spread)
    for line in phases[median_run]:
        print("  " + line[len("runemeter-dask: "):])
    return 0


if __name__ == "__main__":
    sys.exit(main())

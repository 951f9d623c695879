#!/usr/bin/env python3
"""runemeter-dask on a local cluster against one runemeter-cli run over the same files.

    bench/dask_bench.py CORPUS [--bin build/release/bin] [--workers 2] [--repeat 3]

CORPUS is a folder read with --subfolders and --mask '*.*' (bench/bench.py makes one with
100,000 small files under bench/corpus/small). Checks that both print the same, then prints the
best of --repeat wall-clock times of each and their ratio. The cluster's start is included: it
is part of what a user waits for. Never part of the tests: run it by hand.
"""

import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def best_time(command, repeat):
    best, output = None, None
    for _ in range(repeat):
        started = time.perf_counter()
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - started
        if done.returncode not in (0, 1):
            raise SystemExit("%s exited with status %d" % (command[0], done.returncode))
        best = elapsed if best is None else min(best, elapsed)
        output = done.stdout
    return best, output


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("corpus")
    parser.add_argument("--bin", default=os.path.join(HERE, "..", "build", "release", "bin"))
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    common = ["--subfolders", "--mask", "*.*", args.corpus]
    cli = os.path.join(args.bin, "runemeter-cli")
    dask = os.path.join(args.bin, "runemeter-dask")
    subprocess.run([cli] + common, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    single, single_out = best_time([cli] + common, args.repeat)
    spread, spread_out = best_time([dask, "--workers", str(args.workers)] + common, args.repeat)
    if single_out != spread_out:
        print("runemeter-dask printed other output than runemeter-cli", file=sys.stderr)
        return 1
    print("runemeter-cli                 %8.2f s" % single)
    print("runemeter-dask, %d workers     %8.2f s" % (args.workers, spread))
    print("ratio dask / single           %8.2f" % (spread / single))
    return 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Two builds of zandrel-cli side by side, by CPU time (user + system of the
child), so that other work on a shared machine weighs less than in wall
time: `all -n` over 1 GiB of zeros and over 1 GiB of random bytes, the old
and the new program in turn (A B A B ...), the median of each and the ratio
new / old.

Usage: python3 bench/cpu_compare.py OLD_CLI NEW_CLI [RUNS [REPEAT [COMMAND...]]]
RUNS: runs of each program on each input (default 9); REPEAT: how many times
one run names the input, so that a run is long enough to time (default 4);
COMMAND: default `all -n`. The inputs are made in bench/cache/ the first time.
"""
import os
import resource
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CACHE = os.path.join(ROOT, "bench", "cache")
GIB = 1 << 30


def make_input(name, chunk):
    path = os.path.join(CACHE, name)
    if not os.path.exists(path) or os.path.getsize(path) != GIB:
        with open(path + ".part", "wb") as f:
            for _ in range(GIB // (1 << 20)):
                f.write(chunk())
        os.replace(path + ".part", path)
    return path


def cpu_seconds(cli, args, paths, out):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([cli, *args, "-o", os.path.join(out, "%5.5d.x"), *paths],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    old, new = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 9
    repeat = int(sys.argv[4]) if len(sys.argv) > 4 else 4
    args = sys.argv[5:] or ["all", "-n"]
    os.makedirs(CACHE, exist_ok=True)
    zeros = make_input("zeros-1GiB.bin", lambda: bytes(1 << 20))
    random = make_input("random-1GiB.bin", lambda: os.urandom(1 << 20))
    out = os.path.join(CACHE, "cpu-compare-out")
    print(f"old: {old}\nnew: {new}\ncommand: {' '.join(args)}; median CPU seconds of {runs} "
          f"runs each, taking turns, each run {repeat} GiB; load average before: "
          f"{os.getloadavg()}")
    print(f"{'input':<20} {'old s':>8} {'new s':>8} {'new/old':>8}   old runs / new runs")
    for name, path in (("zeros", zeros), ("random bytes", random)):
        with open(path, "rb") as f:  # into the page cache
            while f.read(1 << 24):
                pass
        a, b = [], []
        for _ in range(runs):
            a.append(cpu_seconds(old, args, [path] * repeat, out))
            b.append(cpu_seconds(new, args, [path] * repeat, out))
        ma, mb = statistics.median(a), statistics.median(b)
        print(f"{name:<20} {ma:8.3f} {mb:8.3f} {mb / ma:8.3f}   "
              f"{' '.join(f'{x:.2f}' for x in a)} / {' '.join(f'{x:.2f}' for x in b)}")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Two builds of zandrel-cli side by side, and `cat` beside them, by CPU time
(user + system of the child), so that other work on a shared machine weighs
less than in wall time: `all -n` over 1 GiB of zeros, of random bytes and of
this machine's shared libraries one after the other; `cat`, the old and the
new program in turn (cat A B cat A B ...), the median of each, the ratio
new / old and the ratios of each program to `cat` of the same input (the
goal: `all -n` within 1.3 x `cat FILE > /dev/null`).

Usage: python3 bench/cpu_compare.py OLD_CLI NEW_CLI [RUNS [REPEAT [COMMAND...]]]
RUNS: runs of each program on each input (default 9); REPEAT: how many times
one run names the input, so that a run is long enough to time (default 4;
1 times one input of 1 GiB, its start-up included, as the goal has it);
COMMAND: default `all -n`. The inputs are made in bench/cache/ the first time.
"""
import glob
import os
import resource
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CACHE = os.path.join(ROOT, "bench", "cache")
GIB = 1 << 30


def make_input(name, chunks):
    path = os.path.join(CACHE, name)
    if not os.path.exists(path) or os.path.getsize(path) != GIB:
        with open(path + ".part", "wb") as f:
            left = GIB
            for chunk in chunks():
                f.write(chunk[:left])
                left -= min(left, len(chunk))
                if left == 0:
                    break
        if os.path.getsize(path + ".part") != GIB:
            sys.exit(f"{name}: fewer than {GIB} bytes to make it of")
        os.replace(path + ".part", path)
    return path


def shared_libraries():
    """The bytes of `cat /usr/lib/x86_64-linux-gnu/*.so*`, in its order."""
    for lib in sorted(glob.glob("/usr/lib/x86_64-linux-gnu/*.so*")):
        try:
            with open(lib, "rb") as f:
                while chunk := f.read(1 << 20):
                    yield chunk
        except OSError:
            pass


def cpu_seconds(argv):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
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
    inputs = (
        ("zeros", make_input("zeros-1GiB.bin", lambda: iter(lambda: bytes(1 << 20), None))),
        ("random bytes", make_input("random-1GiB.bin", lambda: iter(lambda: os.urandom(1 << 20), None))),
        ("shared libraries", make_input("binaries-1GiB.bin", shared_libraries)),
    )
    out = os.path.join(CACHE, "cpu-compare-out")
    print(f"old: {old}\nnew: {new}\ncommand: {' '.join(args)}; median CPU seconds (user + system) "
          f"of {runs} runs each, taking turns with `cat`, each run {repeat} GiB; "
          f"load average before: {os.getloadavg()}")
    print(f"{'input':<17} {'cat s':>7} {'old s':>7} {'new s':>7} {'new/old':>8} {'old/cat':>8} "
          f"{'new/cat':>8}   cat runs / old runs / new runs")
    for name, path in inputs:
        with open(path, "rb") as f:  # into the page cache
            while f.read(1 << 24):
                pass
        c, a, b = [], [], []
        for _ in range(runs):
            c.append(cpu_seconds(["cat", *[path] * repeat]))
            a.append(cpu_seconds([old, *args, "-o", os.path.join(out, "%5.5d.x"), *[path] * repeat]))
            b.append(cpu_seconds([new, *args, "-o", os.path.join(out, "%5.5d.x"), *[path] * repeat]))
        mc, ma, mb = statistics.median(c), statistics.median(a), statistics.median(b)
        runs_text = " / ".join(" ".join(f"{x:.2f}" for x in r) for r in (c, a, b))
        print(f"{name:<17} {mc:7.3f} {ma:7.3f} {mb:7.3f} {mb / ma:8.3f} {ma / mc:8.3f} "
              f"{mb / mc:8.3f}   {runs_text}")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Runs a command and prints how many bytes it read through read(2) and
pread(2) (rchar of /proc/PID/io, taken once it has exited, before it is
reaped).

Usage: python3 bench/read_bytes.py COMMAND [ARG]...
"""
import os
import subprocess
import sys

proc = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOWAIT)
with open(f"/proc/{proc.pid}/io") as io:
    fields = dict(line.split(": ") for line in io.read().splitlines())
proc.wait()
print(int(fields["rchar"]))

#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Measures the bus monitor's turnaround against korvo-sim's own log of when it replied.

A korvo-bus line carries mbpoll (the master) reading three input registers from two
korvo-sim modules (--no-pace, slaves 1 and 2) and tessaline-cli monitor --json listening on
a node of its own. korvo-sim logs, for every reply, how long after the request's last byte
its first byte went out ("reply's first byte N us after the request's last byte"); the
monitor's turnaround_us of the same exchange is compared with it. The error is
monitor minus module, per exchange.

    turnaround_bench.py BINDIR --baud B [--by-character] [--exchanges N] [--sim PATH]
"""

import argparse
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

STAMP = re.compile(r"^(\d\d):(\d\d):(\d\d)\.(\d\d\d) (.*)$")
DELAY = re.compile(r"^reply's first byte (\d+) us after the request's last byte$")
TX = re.compile(r"^tx ([0-9A-F]{2})")
REPLY_BYTES = 11  # 04 reply with three registers: address, function, count, 6 data, CRC


def start(args, log, what):
    p = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT)
    for _ in range(100):
        with open(log.name) as f:
            if any(line.startswith("ready ") for line in f):
                return p
        if p.poll() is not None:
            sys.exit(f"{what} did not start:\n" + open(log.name).read())
        time.sleep(0.1)
    p.kill()
    sys.exit(f"{what} gave no ready line")


def stop(p, sig=signal.SIGTERM):
    if p.poll() is None:
        p.send_signal(sig)
    try:
        p.wait(timeout=5)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()


def sim_replies(path):
    """(address, first byte's wall time in s of the day, delay in us, delay in us from the
    millisecond stamps of the rx and tx lines) per reply."""
    out, addr, rx, sent = [], None, None, None
    for line in open(path):
        m = STAMP.match(line.rstrip("\n"))
        if not m:
            continue
        h, mi, s, ms, text = m.groups()
        t = int(h) * 3600 + int(mi) * 60 + int(s) + int(ms) / 1000
        if text.startswith("rx "):
            rx = t
        elif tx := TX.match(text):
            addr, sent = int(tx.group(1), 16), t
        elif (d := DELAY.match(text)) and addr is not None and rx is not None:
            out.append((addr, t, int(d.group(1)), round((sent - rx) * 1e6)))
            addr = None
    return out


def percentile(xs, q):
    s = sorted(xs)
    return s[min(len(s) - 1, max(0, int(round(q * len(s) + 0.5)) - 1))]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("bindir")
    ap.add_argument("--baud", type=int, default=9600)
    ap.add_argument("--by-character", action="store_true")
    ap.add_argument("--exchanges", type=int, default=300)
    ap.add_argument("--sim", help="korvo-sim to use (default BINDIR/korvo-sim)")
    a = ap.parse_args()
    sim = a.sim or os.path.join(a.bindir, "korvo-sim")
    char_ms = 10_000 / a.baud  # 8N1

    work = tempfile.mkdtemp(prefix="turnaround-")
    tty = {n: os.path.join(work, n + ".tty") for n in ("master", "s1", "s2", "listen")}
    procs = []
    try:
        bus_args = [os.path.join(a.bindir, "korvo-bus"), "--baud", str(a.baud)]
        if a.by_character:
            bus_args.append("--by-character")
        for n in ("master", "s1", "s2", "listen"):
            bus_args += ["--link", tty[n]]
        procs.append(start(bus_args, open(os.path.join(work, "bus.log"), "w"), "korvo-bus"))
        sims = []
        for addr in (1, 2):
            log = open(os.path.join(work, f"sim{addr}.log"), "w")
            sims.append(log.name)
            procs.append(start([sim, "--device", tty[f"s{addr}"], "--address", str(addr),
                                "--baud", str(a.baud), "--no-pace"], log, "korvo-sim"))
        mon_out = open(os.path.join(work, "monitor.json"), "w")
        monitor = subprocess.Popen(
            [os.path.join(a.bindir, "tessaline-cli"), "monitor", "--port", tty["listen"],
             "--baud", str(a.baud), "--format", "8N1", "--json"],
            stdout=mon_out, stderr=subprocess.DEVNULL)
        procs.append(monitor)
        time.sleep(1.0)
        master = subprocess.Popen(
            ["mbpoll", "-m", "rtu", "-b", str(a.baud), "-P", "none", "-a", "1,2", "-t", "3",
             "-r", "1", "-c", "3", "-l", "40", "-o", "0.5", tty["master"]],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        procs.append(master)
        deadline = time.monotonic() + 30 + a.exchanges * 0.5
        while time.monotonic() < deadline:
            time.sleep(1.0)
            if sum(len(sim_replies(s)) for s in sims) >= a.exchanges:
                break
        stop(master)
        time.sleep(1.5)  # the last reply framed and printed
        stop(monitor, signal.SIGINT)
    finally:
        for p in reversed(procs):
            stop(p)

    replies = sorted(r for s in sims for r in sim_replies(s))
    frames = []
    for line in open(os.path.join(work, "monitor.json")):
        try:
            j = json.loads(line)
        except ValueError:
            continue
        if j.get("direction") == "reply" and j.get("turnaround_us") is not None:
            frames.append((j["address"], j["t_us"] / 1e6, j["turnaround_us"]))
    if not replies or not frames:
        sys.exit(f"nothing to compare: {len(replies)} replies logged, {len(frames)} heard "
                 f"(logs in {work})")

    # The monitor's clock starts with the monitor. The polls come at a steady rate, so the
    # offset to korvo-sim's wall clock is anchored on the first reply of the run, which both
    # sides see first (the monitor listens before the master starts); each reply is then
    # paired with the one korvo-sim sent nearest that time.
    first_heard = min(frames, key=lambda f: f[1])
    first_sent = min(replies, key=lambda r: r[1])
    if first_heard[0] != first_sent[0]:
        sys.exit(f"the first reply heard is not the first sent (logs in {work})")
    offset = first_sent[1] - first_heard[1]
    errors, coarse, used, unmatched = [], [], set(), []
    delays, turns = [], []
    for addr, t, turn in frames:
        best = min(((abs(t + offset - t2), i) for i, (addr2, t2, *_) in enumerate(replies)
                    if addr2 == addr and i not in used), default=None)
        if best is None or best[0] > 0.025:  # polls of one slave are 80 ms or more apart
            unmatched.append((addr, t + offset, turn))
            continue
        used.add(best[1])
        errors.append((turn - replies[best[1]][2]) / 1000)
        coarse.append((turn - replies[best[1]][3]) / 1000)
        delays.append(replies[best[1]][2] / 1000)
        turns.append(turn / 1000)
    sent = len(replies)
    mode = "by character" if a.by_character else "whole writes"
    expect = char_ms if a.by_character else REPLY_BYTES * char_ms
    if not errors:
        sys.exit(f"no exchange matched (logs in {work})")
    print(f"turnaround error at {a.baud} bps, {mode}: {len(errors)} exchanges of {sent} "
          f"replies sent ({len(frames)} paired by the monitor); monitor minus korvo-sim "
          f"median {percentile(errors, 0.5):.2f} ms p95 {percentile(errors, 0.95):.2f} ms "
          f"max {max(errors):.2f} ms min {min(errors):.2f} ms; expected from the delivery "
          f"{expect:.2f} ms")
    print(f"  against the millisecond stamps of korvo-sim's rx and tx lines instead: median "
          f"{percentile(coarse, 0.5):.2f} ms p95 {percentile(coarse, 0.95):.2f} ms max "
          f"{max(coarse):.2f} ms min {min(coarse):.2f} ms")
    print(f"  korvo-sim's own delay median {percentile(delays, 0.5):.2f} ms max "
          f"{max(delays):.2f} ms; the monitor's turnaround median {percentile(turns, 0.5):.2f} ms "
          f"max {max(turns):.2f} ms")
    for addr, t, turn in unmatched:
        print(f"  not matched: reply of slave {addr} heard at {t:.3f} s of the day, "
              f"turnaround {turn / 1000:.2f} ms")
    if os.environ.get("TURNAROUND_KEEP"):
        print(f"  logs in {work}")
    else:
        subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()

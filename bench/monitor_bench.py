#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Measures tessaline-cli monitor on a pseudo-terminal that carries a busy bus.

A writer plays master and slaves: requests and replies back to back, each followed by its
own wire time at the line's speed and then the minimum legal silence (3.5 characters, or
1.75 ms above 19200 bps). The monitor's JSON frames are compared byte for byte with what
was written (frames lost, frames mis-cut), and its arrival times with the writer's clock.
While it runs, the monitor's CPU share and resident memory are sampled from /proc.

    monitor_bench.py CLI --baud B (--frames N | --seconds S)
"""

import argparse
import json
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import tty


def crc(data):
    c = 0xFFFF
    for b in data:
        c ^= b
        for _ in range(8):
            c = (c >> 1) ^ 0xA001 if c & 1 else c >> 1
    return bytes(data) + bytes([c & 0xFF, c >> 8])


def frame(hexes):
    return crc(bytes.fromhex(hexes))


# Exchanges of the kinds a bus carries, addresses 1 and 2, all with correct CRCs.
EXCHANGES = [
    (frame("01 03 00 00 00 02"), frame("01 03 04 00 0A 00 0B")),
    (frame("02 04 00 00 00 01"), frame("02 04 02 00 14")),
    (frame("01 06 00 01 12 34"), frame("01 06 00 01 12 34")),
    (frame("02 10 00 03 00 02 04 48 49 20 20"), frame("02 10 00 03 00 02")),
    (frame("01 04 01 00 00 01"), frame("01 84 02")),
    (frame("02 01 00 13 00 25"), frame("02 01 05 CD 6B B2 0E 1B")),
    (frame("01 0F 00 13 00 0A 02 CD 01"), frame("01 0F 00 13 00 0A")),
]


def timing(baud):
    char_s = 10.0 / baud
    gap_s = 0.00175 if baud > 19200 else 3.5 * char_s
    return char_s, gap_s


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("cli")
    ap.add_argument("--baud", type=int, default=38400)
    ap.add_argument("--frames", type=int, default=0)
    ap.add_argument("--seconds", type=float, default=0)
    a = ap.parse_args()

    master, slave = os.openpty()
    tty.setraw(slave)
    path = os.ttyname(slave)
    char_s, gap_s = timing(a.baud)
    out = tempfile.NamedTemporaryFile(prefix="monitor-bench-", suffix=".jsonl", delete=False)
    err = tempfile.TemporaryFile()
    proc = subprocess.Popen(
        [a.cli, "monitor", "--port", path, "--baud", str(a.baud), "--format", "8N1", "--json"],
        stdout=out, stderr=err)
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        err.seek(0)
        if b"listening" in err.read():
            break
        if proc.poll() is not None:
            sys.exit("monitor ended: " + err.read().decode())
        time.sleep(0.05)

    written = []  # (bytes, monotonic seconds just after the write)
    samples = []  # (monotonic seconds, cpu seconds, rss KiB)
    start = time.monotonic()
    cpu0 = cpu_seconds(proc.pid)
    next_sample = start
    i = 0
    due = time.monotonic()
    while True:
        now = time.monotonic()
        if a.frames and len(written) >= a.frames:
            break
        if a.seconds and now - start >= a.seconds:
            break
        if now >= next_sample:
            samples.append((now, cpu_seconds(proc.pid), rss_kib(proc.pid)))
            next_sample = now + 1.0
        request, reply = EXCHANGES[i % len(EXCHANGES)]
        i += 1
        for f in (request, reply):
            # The line is busy for the frame's wire time, then quiet for the minimum gap.
            # Sleep most of the wait, spin the rest: the writer must not starve the monitor.
            left = due - time.monotonic()
            if left > 0.0005:
                time.sleep(left - 0.0003)
            while time.monotonic() < due:
                pass
            os.write(master, f)
            written.append((f, time.monotonic()))
            due = written[-1][1] + len(f) * char_s + gap_s
    elapsed = time.monotonic() - start
    cpu = cpu_seconds(proc.pid) - cpu0
    samples.append((time.monotonic(), cpu_seconds(proc.pid), rss_kib(proc.pid)))
    time.sleep(0.5)
    proc.send_signal(signal.SIGINT)
    proc.wait(timeout=60)
    os.close(master)
    os.close(slave)

    frames, summary = [], None
    with open(out.name) as f:
        for line in f:
            o = json.loads(line)
            if o.get("summary"):
                summary = o
            else:
                frames.append(o)
    os.unlink(out.name)

    want = [w[0].hex(" ").upper() for w in written]
    got = [f["bytes"] for f in frames]
    # Frames lost or mis-cut: the positions where the two sequences differ.
    wrong = sum(1 for x, y in zip(want, got) if x != y) + abs(len(want) - len(got))
    # Arrival times against the writer's clock: the two clocks start at different points,
    # so each delay is taken beyond the shortest one seen (the monitor's best case).
    errors = []
    if got == want:
        delays = [m["t_us"] - tw * 1e6 for (f, tw), m in zip(written, frames)]
        best = min(delays)
        errors = [d - best for d in delays]
    # The writer may itself be held up on a loaded machine: its longest pause explains a
    # request counted as unanswered (a reply more than 1 s after it).
    pause = max((b[1] - a[1] for a, b in zip(written, written[1:])), default=0)
    rss = [s[2] for s in samples]
    print(f"baud {a.baud}: {len(want)} frames written, {len(got)} heard, "
          f"{wrong} lost or mis-cut, {elapsed:.1f} s, "
          f"{sum(len(w[0]) for w in written) * 10 / a.baud / elapsed * 100:.0f} % of the line busy")
    if errors:
        errors.sort()
        print(f"  arrival time beyond the best case: median {statistics.median(errors):.0f} us, "
              f"95% {errors[int(len(errors) * 0.95) - 1]:.0f} us, max {errors[-1]:.0f} us")
    print(f"  longest pause of the writer between two frames: {pause * 1000:.1f} ms")
    print(f"  monitor CPU {cpu / elapsed * 100:.1f} %, resident memory {rss[0]} KiB at start, "
          f"{rss[-1]} KiB at end, {max(rss)} KiB at most")
    if summary:
        print(f"  summary: {summary['frames']} frames, "
              + ", ".join(f"slave {s['address']}: {s['requests']} requests {s['replies']} replies "
                          f"{s['no_reply']} no reply {s['crc_errors']} CRC errors"
                          for s in summary["slaves"]))
    return 0 if wrong == 0 else 1


if __name__ == "__main__":
    sys.exit(main())

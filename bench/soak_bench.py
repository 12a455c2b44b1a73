#!/usr/bin/env python3
"""The soak run: grpaudit watch --interval 0 --count 10000 on a small example.
Its resident memory and open descriptors must stay flat (the last sample
within 1 MB and 0 descriptors of the sample at about run 100), and a reader
polling its metrics file must never see it half-written.

    soak_bench.py GRPAUDIT EXAMPLE [RUNS]
"""

import os
import subprocess
import sys
import tempfile
import time

binary, example = sys.argv[1], sys.argv[2]
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 10000


def sample(pid):
    with open(f"/proc/{pid}/status") as status:
        rss = next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))
    return rss, len(os.listdir(f"/proc/{pid}/fd"))


with tempfile.TemporaryDirectory() as tmp:
    metrics = f"{tmp}/grpaudit.prom"
    started = time.monotonic()
    proc = subprocess.Popen([binary, "watch", "--snapshot", example, "--interval", "0",
                             "--count", str(runs), "--metrics-file", metrics],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    samples, reads, torn = [], 0, 0
    while proc.poll() is None:
        try:
            samples.append((time.monotonic() - started, *sample(proc.pid)))
        except (OSError, StopIteration):
            break
        try:
            with open(metrics) as f:
                text = f.read()
            reads += 1
            if not (text.startswith("# HELP") and text.endswith("\n") and "grpaudit_up{" in text):
                torn += 1
        except FileNotFoundError:
            pass
        time.sleep(0.005)
    proc.wait()
    elapsed = time.monotonic() - started

if len(samples) < 3:
    print("soak: too few samples")
    sys.exit(1)
# A sample falls anywhere inside a run (a file open or not yet closed), so
# windows are compared: the most in the samples around run 100 (the first
# 2 % of the time) against the most in the last 2 %.
window = elapsed * 0.02
early_window = [s for s in samples if s[0] <= max(window, samples[2][0])]
late_window = [s for s in samples if s[0] >= samples[-1][0] - window] or samples[-1:]
early = (0, max(s[1] for s in early_window), max(s[2] for s in early_window))
last = (0, max(s[1] for s in late_window), max(s[2] for s in late_window))
rss_growth = (last[1] - early[1]) / 1024
fd_growth = last[2] - early[2]
print(f"\nsoak: watch --interval 0 --count {runs} on {os.path.basename(example)}: "
      f"{elapsed:.1f} s, {1000 * elapsed / runs:.2f} ms a run")
print(f"  resident memory (most sampled) {early[1] / 1024:.1f} MB near run 100, {last[1] / 1024:.1f} MB near the end "
      f"({rss_growth:+.2f} MB; target within 1 MB)")
print(f"  open descriptors (most sampled) {early[2]} near run 100, {last[2]} near the end ({fd_growth:+d}; target 0)")
print(f"  metrics file read {reads} times while written, half-written {torn} times (target 0)")
met = abs(rss_growth) <= 1 and fd_growth == 0 and torn == 0 and proc.returncode in (0, 1)
print(f"  {'met' if met else 'NOT met'} (exit status {proc.returncode})")

#!/usr/bin/env python3
"""The audit through Python against the command, on the default large switch:
whole processes in alternating order, each figure the median of RUNS.

  C++     grpaudit check --json --snapshot SWITCH > /dev/null
  Python  python3 -c 'grpaudit.audit(grpaudit.Asic(grpaudit.Snapshot(SWITCH)))'
  + dicts the same, and the report's to_dict() (every route as a dict)

The target: the Python audit takes at most 1.2 times the command's time.

    python_bench.py BUILD_DIR SWITCH [RUNS]
"""

import os
import statistics
import subprocess
import sys
import time

build, switch = sys.argv[1], sys.argv[2]
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 11
python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
env = dict(os.environ, PYTHONPATH=os.path.join(build, "python"))
audit = "import grpaudit, sys; r = grpaudit.audit(grpaudit.Asic(grpaudit.Snapshot(sys.argv[1])))"
commands = {
    "C++": [os.path.join(build, "grpaudit"), "check", "--json", "--snapshot", switch],
    "Python": [python, "-c", audit, switch],
    "+ dicts": [python, "-c", audit + "; r.to_dict()", switch],
}


def wall(argv):
    started = time.monotonic()
    status = subprocess.run(argv, env=env, stdout=subprocess.DEVNULL).returncode
    if status not in (0, 1):  # 1: the switch has faults
        sys.exit(f"{argv[0]} exited {status}")
    return time.monotonic() - started


times = {name: [] for name in commands}
for name, argv in commands.items():
    wall(argv)  # warm the page cache
for i in range(runs):
    # Alternating order: a drift of the machine's speed hits all alike.
    order = list(commands.items())
    for name, argv in order if i % 2 == 0 else reversed(order):
        times[name].append(wall(argv))

base = statistics.median(times["C++"])
print(f"{'audit of ' + os.path.basename(switch):40} {'wall ms':>9} {'x C++':>7}")
for name, ts in times.items():
    t = statistics.median(ts)
    print(f"{name:40} {t * 1000:9.1f} {t / base:7.2f}")
ratio = statistics.median(times["Python"]) / base
print(f"Python audit: {ratio:.2f} times the command's time "
      f"(target <= 1.2: {'met' if ratio <= 1.2 else 'NOT met'})")

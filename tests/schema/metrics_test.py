#!/usr/bin/env python3
"""The metrics file of grpaudit check, read by the Prometheus client's own
parser: every family has its HELP and TYPE, and the numbers are the run's
(those of its JSON report); a failed run says so."""

import json
import subprocess
import sys
import tempfile
from pathlib import Path

from prometheus_client.parser import text_string_to_metric_families

binary, source = sys.argv[1], Path(sys.argv[2])
failed = []
version = subprocess.run([binary, "--version"], capture_output=True,
                         text=True).stdout.split()[-1]


def expect(what, got, wanted):
    if got != wanted:
        failed.append(f"{what}: {got!r}, expected {wanted!r}")


def families(path):
    out = {}
    for family in text_string_to_metric_families(Path(path).read_text()):
        expect(f"{family.name} help", bool(family.documentation), True)
        out[family.name] = family
    return out


def value(fams, name, labels=None):
    samples = [s for s in fams[name].samples
               if s.name in (name, name + "_total") and (labels is None or s.labels == labels)]
    expect(f"{name} {labels} samples", len(samples), 1)
    return samples[0].value if samples else None


with tempfile.TemporaryDirectory() as tmp:
    metrics = f"{tmp}/grpaudit.prom"
    for example in sorted((source / "examples").glob("*.json")):
        done = subprocess.run([binary, "check", "--json", "--snapshot", str(example),
                               "--metrics-file", metrics], capture_output=True, text=True)
        report = json.loads(done.stdout)
        fams = families(metrics)
        for status, count in report["summary"].items():
            expect(f"{example.name} {status}",
                   value(fams, "grpaudit_routes", {"status": status}), count)
        faults = sum(report["summary"][s] for s in ("mismatch", "missing-in-hw",
                                                     "missing-in-kernel"))
        expect(f"{example.name} faults", value(fams, "grpaudit_faults"), faults)
        expect(f"{example.name} warnings", value(fams, "grpaudit_warnings"),
               len(report.get("warnings", [])))
        expect(f"{example.name} success", value(fams, "grpaudit_run_success"), 1)
        expect(f"{example.name} up",
               value(fams, "grpaudit_up", {"source": "snapshot", "version": version}), 1)
        expect(f"{example.name} SDK commands", value(fams, "grpaudit_sdk_commands") > 0, True)
        expect(f"{example.name} types", fams["grpaudit_sdk_commands"].type, "counter")

    # A failed run replaces the file with what it knows.
    subprocess.run([binary, "check", "--snapshot", f"{tmp}/none.json", "--metrics-file", metrics],
                   capture_output=True)
    fams = families(metrics)
    expect("failed run success", value(fams, "grpaudit_run_success"), 0)
    expect("failed run routes", "grpaudit_routes" in fams, False)

for line in failed:
    print(line, file=sys.stderr)
print(f"{len(failed)} mismatches")
sys.exit(1 if failed else 0)

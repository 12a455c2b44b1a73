#!/usr/bin/env python3
"""The reports of grpaudit check --json, compact and pretty, of every example
switch, with an absent key, with warnings, and an error object, are valid against
docs/report.schema.json."""

import json
import subprocess
import sys
import tempfile
from pathlib import Path

import jsonschema

binary, source = sys.argv[1], Path(sys.argv[2])
schema = json.loads((source / "docs/report.schema.json").read_text())
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)

runs = []
for example in sorted((source / "examples").glob("*.json")):
    for extra in ([], ["--pretty"], ["default, (192.0.2.1,239.0.0.1)"]):
        runs.append(["check", "--snapshot", str(example), "--json", *extra])
# A run that had to do without the daemon's next-hop file warns of it.
spoilt = json.loads((source / "examples/leaf-riot.json").read_text())
spoilt["host"]["commands"]["cat /quorvex/hwprogd/debug/mroute/info"] = {"status": 1, "stdout": ""}
spoilt["sdk"]["commands"]["vlan show -1"] = ""
spoilt_file = tempfile.NamedTemporaryFile("w", suffix=".json", delete=False)
# And a second read (--confirm) finds the route missing from the ASIC gone:
# transient, with its first read beside it.
routes = json.loads(spoilt["host"]["commands"]["/bin/ip -j mroute show table all"]["stdout"])
routes = [r for r in routes if r["src"] != "10.1.100.13"]
spoilt["rounds"] = [{"host": {"commands": {"/bin/ip -j mroute show table all": {
    "status": 0, "stdout": json.dumps(routes)}}}}]
json.dump(spoilt, spoilt_file)
spoilt_file.close()
for extra in ([], ["--pretty"], ["--confirm", "0"]):
    runs.append(["check", "--snapshot", spoilt_file.name, "--json", *extra])
runs.append(["check", "--snapshot", "/no/such/snapshot.json", "--json"])
runs.append(["check", "--json", "--bogus"])

failed = 0
for args in runs:
    done = subprocess.run([binary, *args], capture_output=True, text=True, check=False)
    if done.returncode not in (0, 1, 2):
        print(f"{args}: exit {done.returncode}", file=sys.stderr)
        failed += 1
        continue
    errors = list(validator.iter_errors(json.loads(done.stdout)))
    for error in errors:
        print(f"{args}: {error.message} at {list(error.absolute_path)}", file=sys.stderr)
    failed += bool(errors)
Path(spoilt_file.name).unlink()
print(f"{len(runs)} reports, {failed} not valid")
sys.exit(1 if failed else 0)

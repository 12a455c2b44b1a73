#!/usr/bin/env python3
"""Audits a switch from Python and shows its faulty routes, as `grpaudit
check` does: replayed from a snapshot, or live on the switch.

    PYTHONPATH=build/python python3 examples/audit.py [SNAPSHOT]
    python3 examples/audit.py --live SDK_SHELL PORT_TABLE [VRF_MAP]

Exits 1 when a route is faulty, as the command does.
"""

import os
import sys

import grpaudit


def open_switch(args):
    if args and args[0] == "--live":
        shell, ports, vrfs = (args[1:] + [None, None, None])[:3]
        return grpaudit.LiveSwitch(sdk_shell=shell, port_table=ports, vrf_map=vrfs)
    here = os.path.dirname(os.path.abspath(__file__))
    return grpaudit.Snapshot(args[0] if args else os.path.join(here, "leaf-riot.json"))


def main(args):
    asic = grpaudit.Asic(open_switch(args))
    report = grpaudit.audit(asic)
    for route in report.faulty_routes():
        print(f"{route['status']}: {route['key']}")
        kernel = route["kernel"]
        if kernel:
            print(f"  kernel: iif {kernel['iif']}, oil {' '.join(kernel['oil']) or '(none)'}")
        if route["hardware"]:
            # The route as the ASIC holds it, with the comparison's errors.
            for line in asic.dump_mroutes([route["key"]]).splitlines():
                print("    " + line)
    counts = ", ".join(f"{n} {status}" for status, n in report.summary.items())
    print(f"{len(report)} routes, {report.faults} faults: {counts}")
    for warning in report.warnings:
        print(f"warning: {warning}", file=sys.stderr)
    return 1 if report.faults else 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (RuntimeError, OSError, ValueError, KeyError) as e:
        sys.exit(f"audit.py: {e}")

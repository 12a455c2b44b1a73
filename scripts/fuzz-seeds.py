#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target from the example snapshots.

Usage: fuzz-seeds.py OUT_DIR SNAPSHOT...

Each target gets OUT_DIR/<target>/ with one file per text the snapshots hold
for it. Targets that read several texts take them joined by NUL bytes, in the
order the target reads them (see fuzz/*_fuzz.cpp).
"""

import hashlib
import json
import os
import sys


def main():
    out_dir, paths = sys.argv[1], sys.argv[2:]
    seeds = {}

    def add(target, *texts):
        data = "\0".join(texts).encode("utf-8")
        seeds.setdefault(target, set()).add(data)

    for path in paths:
        with open(path, "rb") as f:
            raw = f.read()
        add("snapshot", raw.decode("utf-8"))
        add("replay", raw.decode("utf-8"))
        doc = json.loads(raw)
        sdk = doc.get("sdk", {}).get("commands", {})
        host = doc.get("host", {})
        cmds = {k: v.get("stdout", "") for k, v in host.get("commands", {}).items()}
        files = host.get("files", {})
        info = cmds.get("cat /quorvex/hwprogd/debug/mroute/info", "")

        for cmd, out in sdk.items():
            if cmd == "ipmc table show":
                add("ipmc_table", out)
            elif cmd == "dump chg l3_entry_ipv4_multicast":
                add("l3_entry_mem", out)
            elif cmd == "multicast show":
                add("repl_groups", out, "0x2000001", "100001")
            elif cmd in ("l3 intf show", "l3 egress show"):
                add("l3_intf", out)
            elif cmd in ("show portmap", "pvlan show", "show unit"):
                add("portmap", out)
            elif cmd.startswith("vlan show "):
                ports = sdk.get("ports " + out.split("untagged ")[-1].split()[0], "") \
                    if "untagged " in out else ""
                add("vlan", out, ports)
            elif cmd == "vlan translate show":
                add("vlan_xlate", out)
        add("riot", sdk.get("sc L3IngressMode", "0x1\n"), sdk.get("listmem VLAN", ""),
            "VLAN.ipipe0[10]: <L3_IIF=0x1004,VALID=1>\n", info)
        if info:
            add("l3_intf", info)

        vlan_config = files.get("/proc/net/vlan/config", "")
        if vlan_config:
            add("vlan_dev", vlan_config)
        for cmd, out in cmds.items():
            if cmd.startswith("/bin/ip -d link show "):
                dev = cmd.split()[-1]
                filtering = files.get(f"/sys/class/net/{dev}/bridge/vlan_filtering", "")
                add("kern_link", out, filtering, vlan_config, "swp1 swp2\n")
            elif cmd == "/sbin/bridge -j vlan show":
                add("bridge_vlans", out, "swp2 swp3\n")
            elif cmd.startswith("/sbin/bridge -d -s mdb show dev "):
                dev = cmd.split()[-1]
                filtering = files.get(f"/sys/class/net/{dev}/bridge/vlan_filtering", "0\n")
                rport_vlans = [v for k, v in cmds.items()
                               if k.startswith("/sbin/bridge vlan show dev ")]
                for vlans in rport_vlans or [""]:
                    add("mdb", out, vlans, filtering, vlan_config)
        add("kernel_routes", cmds.get("/bin/ip -j -d link show type vrf", ""),
            cmds.get("/bin/ip -j mroute show table all", ""))

    add("config_files", "# sdk linux\nxe0 swp1\nxe1\tswp2  # uplink\n")
    add("config_files", "0 default\n2 blue\n")

    for target, datas in seeds.items():
        tdir = os.path.join(out_dir, target)
        os.makedirs(tdir, exist_ok=True)
        for data in datas:
            name = hashlib.sha1(data).hexdigest()
            with open(os.path.join(tdir, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()

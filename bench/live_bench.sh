#!/bin/bash
# The live benchmark: grpaudit check against a live kernel and a live SDK
# shell, four ways (the SDK shell per command or as one session; the kernel's
# links per device or from one listing), then the replay of its recording.
#
#   bench/live_bench.sh BUILD_DIR SNAPSHOT
#
# The kernel is a private network namespace with 2,000 veth ports under four
# VLAN-unaware bridges; 2,000 kernel routes (keys of the snapshot's default
# VRF) come in on a port each and go out to a bridge, whose empty multicast
# database floods to all its ports, so every port's kind is asked. The SDK
# shell is the stand-in answering from SNAPSHOT through a server, 1 ms per
# command, reached by a client per command or one client for the session.
# Needs root and namespaces; says so and stops otherwise.
set -euo pipefail

if [ "${1:-}" = --inside ]; then
  build=$2 work=$3
  mount --make-rprivate /
  mount -t sysfs sysfs /sys
  ip -batch "$work/links.batch"
  mount --bind "$build/bench/grpaudit-netns-standin" /bin/ip
  mount --bind "$build/bench/grpaudit-netns-standin" /usr/bin/cat
  export GRPAUDIT_BENCH_MROUTES=$work/routes.json GRPAUDIT_BENCH_REAL_IP=$work/real-ip \
    GRPAUDIT_BENCH_NHI=$work/nhi GRPAUDIT_BENCH_REAL_CAT=$work/real-cat
  sdk=$build/grpaudit-standin-sdk
  "$sdk" --serve "$work/sdk.sock" "$work/switch.json" --latency-ms "${LIVE_BENCH_LATENCY_MS:-1}" &
  server=$!
  trap 'kill $server' EXIT
  while [ ! -S "$work/sdk.sock" ]; do sleep 0.05; done

  forks() { awk '$1 == "processes" {print $2}' /proc/stat; }
  # NAME, then grpaudit's arguments: wall and CPU seconds (grpaudit and what
  # it waited for: commands, SDK clients), processes started in the system
  # meanwhile, SDK round trips (from the trace).
  run() {
    local name=$1 f0 f1 times
    shift
    f0=$(forks)
    times=$({ TIMEFORMAT='%R %U %S'; time "$build/grpaudit" check --json "$@" \
      >"$work/$name.out" 2>/dev/null; } 2>&1) || true
    f1=$(forks)
    # The awk of forks() itself is not the run's.
    echo "$name $times $((f1 - f0 - 1)) $(grep -c -E '^\{"(sdk|gettable)"' "$work/$name.trace" 2>/dev/null || echo 0)"
  }
  # NAME, then the options that choose the mode: once as measured, once
  # with a recording and a trace to compare and count.
  live() {
    local name=$1
    shift
    "$build/grpaudit" check --json "$@" --port-table "$work/ports" --vrf-map "$work/vrfs" \
      --record "$work/$name.rec.json" --trace "$work/$name.trace" >/dev/null 2>&1 || true
    run "$name" "$@" --port-table "$work/ports" --vrf-map "$work/vrfs"
  }
  client="$sdk --connect $work/sdk.sock"
  live per-command-per-device --sdk-shell "$client" --no-link-batch
  live per-command-batch --sdk-shell "$client"
  live session-per-device --sdk-session "$client" --no-link-batch
  live session-batch --sdk-session "$client"
  run replay --snapshot "$work/session-batch.rec.json"
  exit 0
fi

build=${1:?usage: bench/live_bench.sh BUILD_DIR SNAPSHOT} snapshot=${2:?snapshot}
if [ "$(id -u)" != 0 ] || ! unshare -n -m true 2>/dev/null; then
  echo "live benchmark: skipped (it needs root and network namespaces)"
  exit 0
fi
work=$(mktemp -d)
[ -n "${KEEP_LIVE_BENCH:-}" ] || trap 'rm -rf "$work"' EXIT
cp /bin/ip "$work/real-ip"
cp /usr/bin/cat "$work/real-cat"
cp "$snapshot" "$work/switch.json"

# The namespace's links, the kernel routes, the port table and the VRF map.
python3 - "$work" <<'PY'
import json, sys
work = sys.argv[1]
snap = json.load(open(f"{work}/switch.json"))
with open(f"{work}/links.batch", "w") as f:
    for b in range(4):
        f.write(f"link add name br{b} type bridge\n")
    for i in range(1000):
        f.write(f"link add name a{i} type veth peer name b{i}\n")
        f.write(f"link set a{i} master br{i % 4}\n")
        f.write(f"link set b{i} master br{(i + 1) % 4}\n")
commands = snap["host"]["commands"]
nhi = commands.get("cat /quorvex/hwprogd/debug/mroute/info", {}).get("stdout", "")
open(f"{work}/nhi", "w").write(nhi)
listing = commands["/bin/ip -j mroute show table all"]["stdout"]
keys = [r for r in json.loads(listing) if "table" not in r][:2000]
routes = [{"src": r["src"], "dst": r["dst"], "iif": f"a{i % 1000}",
           "multipath": [{"oif": f"br{i % 4}", "ttl": 1}], "state": "resolved"}
          for i, r in enumerate(keys)]
json.dump(routes, open(f"{work}/routes.json", "w"))
with open(f"{work}/ports", "w") as f:
    for sdk, linux in snap["port_table"]["sdk_to_linux"].items():
        f.write(f"{sdk} {linux}\n")
with open(f"{work}/vrfs", "w") as f:
    for vrf_id, name in snap["vrfs"].items():
        f.write(f"{vrf_id} {name}\n")
PY

results=$(unshare -n -m bash "$0" --inside "$build" "$work")

python3 - "$work" "$results" <<'PY'
import json, sys
work, results = sys.argv[1], sys.argv[2]
rows = {}
for line in results.splitlines():
    name, wall, user, sys_, procs, trips = line.split()
    rows[name] = (round(float(wall) * 1000), round((float(user) + float(sys_)) * 1000),
                  int(procs), int(trips))
labels = {
    "per-command-per-device": "SDK per command, links per device",
    "per-command-batch": "SDK per command, links batched",
    "session-per-device": "SDK session, links per device",
    "session-batch": "SDK session, links batched",
    "replay": "replay of the session's recording",
}
print("\nlive check: 2,000 veth ports under 4 bridges in a namespace, 2,000 kernel routes,")
print("the SDK stand-in answering from the default large switch with 1 ms per command\n")
print(f"{'mode':<38} {'wall ms':>8} {'CPU ms':>7} {'processes':>10} {'SDK round trips':>16}")
print("-" * 83)
for name, label in labels.items():
    ms, cpu, procs, trips = rows[name]
    live = name != "replay"
    print(f"{label:<38} {ms:>8} {cpu:>7} {procs if live else '':>10} {trips if live else '':>16}")

def strip(path):
    doc = json.load(open(path))
    doc.pop("recorded", None)
    return doc
names = [n for n in labels if n != "replay"]
reports = {open(f"{work}/{n}.out").read() for n in names} | {open(f"{work}/replay.out").read()}
recordings = {json.dumps(strip(f"{work}/{n}.rec.json"), sort_keys=True) for n in names}
fast = rows["session-batch"]
budget = 3 * rows["replay"][0] + fast[3]
print()
print(f"reports (and the replay's) byte-identical: {'yes' if len(reports) == 1 else 'NO'}; "
      f"recordings identical: {'yes' if len(recordings) == 1 else 'NO'}")
print(f"session with links batched: {fast[2]} processes (target <= 20), {fast[0]} ms "
      f"(target <= 3 x replay + round trips x 1 ms = {budget} ms): "
      f"{'met' if fast[2] <= 20 and fast[0] <= budget else 'NOT met'}")
PY

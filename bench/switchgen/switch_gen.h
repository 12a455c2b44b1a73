#pragma once
// A synthetic large switch, written as a snapshot that grpaudit replays.
//
// The switch is consistent by construction: the SDK listings and the kernel's
// outputs describe the same forwarding, except for a few routes spoiled on
// purpose, so a check of it reports mostly "ok" and a known number of every
// other status. The same seed and scale always give the same snapshot.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "grpaudit/platform/snapshot.h"

namespace grpaudit::switchgen {

struct Params {
  std::uint64_t seed = 1;
  // Multiplies every table size. At 1 the switch has 128 ports, 4,000 VLANs,
  // 2,000 VLAN translations, 16,000 replication groups with 8 routed and up to
  // 16 bridged copies each, 32,000 hardware routes in 4 VRFs and 8,000
  // multicast database entries.
  double scale = 1.0;
  // How the listings are printed (layout.h): 0 is the default layout; any
  // other value prints the same switch in a layout of its own.
  std::uint64_t layout = 0;
};

// What the switch holds, and what `grpaudit check` must report for it.
struct Expected {
  std::size_t ports = 0;
  std::size_t vlans = 0;
  std::size_t translations = 0;
  std::size_t groups = 0;
  std::size_t hw_routes = 0;
  std::size_t kernel_routes = 0;
  std::size_t mdb_entries = 0;
  // Status name ("ok", "mismatch", ...) to the number of routes with it;
  // every status of the command is present, possibly with 0.
  std::map<std::string, std::size_t> statuses;
};

struct Generated {
  platform::Snapshot snapshot;
  Expected expected;
};

Generated generate(const Params& params);

}  // namespace grpaudit::switchgen

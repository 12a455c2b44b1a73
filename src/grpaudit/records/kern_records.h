#pragma once
// The kernel side of the model: net devices, VLAN devices, bridge VLANs and
// the multicast database of a bridge, as the kernel readers cache them.

#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "grpaudit/records/record_format.h"
#include "grpaudit/util/insertion_map.h"

namespace grpaudit {

// One kernel net device with its kind ("swp", "bridge", "bond", "vlan", "unk", ...).
struct KernDevEntry {
  KernDevEntry(std::string dev, std::string kind, std::int64_t vlan_filtering);

  std::string dev;
  std::string kind;
  std::int64_t vlan_filtering;  // 1 for a VLAN-aware bridge, else 0

  std::string str() const;
};

// One kernel VLAN device (a port sub-interface or a bridge's VLAN interface).
struct KernVlanDevEntry {
  KernVlanDevEntry(std::string dev, std::int64_t vid, std::string atlink);

  std::string dev;
  std::int64_t vid;
  std::string atlink;  // the device it sits on

  std::string str() const;
};

// One VLAN of the kernel's bridge VLAN table with its member ports.
struct KernVlanEntry {
  explicit KernVlanEntry(std::int64_t vid);

  std::int64_t vid;
  std::vector<std::string> tagged_swp;
  std::vector<std::string> untagged_swp;

  // Appends without a duplicate check.
  void add_port(const std::string& port, bool untagged);
  std::string str() const;
};

// The receiving ports of one group of a bridge's multicast database.
struct KernMdbEntry {
  KernMdbEntry(std::int64_t vid, std::string grp);

  std::string grp;   // the group's multicast MAC address
  std::int64_t vid;  // -1 for a bridge without VLANs
  std::vector<std::string> swp;

  // Appends unless already present; first-addition order is kept.
  void add_port(std::string_view dev);
  std::string str() const;
};

// The multicast router ports of one VLAN of a bridge.
struct KernMdbRportEntry {
  explicit KernMdbRportEntry(std::int64_t vid);

  std::int64_t vid;
  std::vector<std::string> swp;

  // Appends without a duplicate check.
  void add_port(const std::string& dev);
};

// Group entries of a bridge keyed by "%d.%s" of VLAN and group MAC, in the
// order the kernel first listed them.
using KernMdbEntries = util::InsertionMap<std::string, KernMdbEntry>;

// The multicast database of one bridge, read once.
struct KernMdbCache {
  KernMdbCache(std::string dev, std::int64_t vlan_filtering, KernMdbEntries mdb_entries = {});

  std::string dev;
  std::int64_t vlan_filtering;
  KernMdbEntries mdb_entries;
  std::map<std::int64_t, KernMdbRportEntry> mdb_rports;

  std::string str() const;
};

template <>
struct is_record<KernDevEntry> : std::true_type {};
template <>
struct is_record<KernVlanDevEntry> : std::true_type {};
template <>
struct is_record<KernVlanEntry> : std::true_type {};
template <>
struct is_record<KernMdbEntry> : std::true_type {};
template <>
struct is_record<KernMdbCache> : std::true_type {};

std::ostream& operator<<(std::ostream& os, const KernDevEntry& e);
std::ostream& operator<<(std::ostream& os, const KernVlanDevEntry& e);
std::ostream& operator<<(std::ostream& os, const KernVlanEntry& e);
std::ostream& operator<<(std::ostream& os, const KernMdbEntry& e);
std::ostream& operator<<(std::ostream& os, const KernMdbCache& e);

}  // namespace grpaudit

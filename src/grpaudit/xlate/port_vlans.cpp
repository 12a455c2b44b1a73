// Lookups between the kernel's and the ASIC's names of ports and VLANs, over
// the port map, the VLAN translation table and the VLAN cache. Where several
// entries fit, the first in table order wins.

#include <algorithm>
#include <vector>

#include "grpaudit/xlate/port_vlans.h"

namespace grpaudit::xlate {

// The indexes answer as these scans in table order would (first match
// wins); every position they give is checked against the table, which is
// indexed anew when it no longer fits.

const std::vector<std::size_t>* PortVlans::dport_positions(const std::string& dport) const {
  for (const bool force : {false, true}) {
    portmap_index_.sync(tables_.portmap, force);
    const auto* positions = portmap_index_.by_dport(dport);
    if (positions == nullptr) return nullptr;
    const bool fits = std::all_of(positions->begin(), positions->end(), [&](std::size_t i) {
      return i < tables_.portmap.size() && tables_.portmap[i].dport == dport;
    });
    if (fits) return positions;
  }
  return nullptr;
}

void PortVlans::update_portmap_port_vid(const std::string& dport, std::int64_t port_vid) {
  // Every entry of that name: the port map does not enforce unique names.
  if (const auto* positions = dport_positions(dport)) {
    for (const std::size_t i : *positions) tables_.portmap[i].update_port_vid(port_vid);
  }
}

std::int64_t PortVlans::dport2logical_port(const std::string& dport) const {
  const auto* positions = dport_positions(dport);
  return positions == nullptr ? -1 : tables_.portmap[positions->front()].logical_port;
}

std::pair<std::int64_t, std::int64_t> PortVlans::get_logical_port_and_pvid(
    const std::string& linux_port) const {
  for (const bool force : {false, true}) {
    portmap_index_.sync(tables_.portmap, force);
    const std::ptrdiff_t i = portmap_index_.by_linux_port(linux_port);
    if (i < 0) return {-1, -1};
    if (static_cast<std::size_t>(i) >= tables_.portmap.size()) continue;
    const auto& entry = tables_.portmap[static_cast<std::size_t>(i)];
    if (entry.linux_port == linux_port) return {entry.logical_port, entry.port_vid};
  }
  return {-1, -1};
}

namespace {

// VLAN IDs below this are indexed flat; others are searched in the map.
constexpr std::int64_t kFlatVlanIds = 65536;

}  // namespace

const VlanEntry PortVlans::kVlanWithoutEntry(-1, {});

PortVlans::PortVlans(Tables tables, std::function<void(std::int64_t)> read_vlan)
    : tables_(tables), read_vlan_(std::move(read_vlan)) {}

void PortVlans::store_vlan(VlanEntry entry) {
  const std::int64_t vid = entry.vid;
  const auto stored = tables_.vlans.insert_or_assign(vlan_hint(vid), vid, std::move(entry));
  index_vlan(stored->first, &stored->second, stored);
}

void PortVlans::store_no_vlan(std::int64_t vid) {
  tables_.vlans_without_entry.insert(vid);
  index_vlan(vid, &kVlanWithoutEntry);
}

PortVlans::VlansIndexed::VlansIndexed(PortVlans& lookups) : lookups_(lookups) {
  lookups_.vlans_by_vid_.clear();
  lookups_.vlans_by_vid_on_ = true;
  // An entry counts before a reading that stored none.
  for (const std::int64_t vid : lookups_.tables_.vlans_without_entry)
    lookups_.index_vlan(vid, &kVlanWithoutEntry);
  for (auto it = lookups_.tables_.vlans.begin(); it != lookups_.tables_.vlans.end(); ++it)
    lookups_.index_vlan(it->first, &it->second, it);
}

PortVlans::VlansIndexed::~VlansIndexed() {
  lookups_.vlans_by_vid_on_ = false;
  std::vector<const VlanEntry*>().swap(lookups_.vlans_by_vid_);
  std::vector<std::map<std::int64_t, VlanEntry>::iterator>().swap(lookups_.vlan_nodes_by_vid_);
}

void PortVlans::index_vlan(std::int64_t vid, const VlanEntry* entry,
                           std::map<std::int64_t, VlanEntry>::iterator node) {
  if (!vlans_by_vid_on_ || vid < 0 || vid >= kFlatVlanIds) return;
  const auto i = static_cast<std::size_t>(vid);
  if (i >= vlans_by_vid_.size()) {
    const std::size_t size = std::max<std::size_t>(i + 1, 2 * vlans_by_vid_.size());
    vlans_by_vid_.resize(size, nullptr);
    vlan_nodes_by_vid_.resize(size);
  }
  if (entry == &kVlanWithoutEntry && vlans_by_vid_[i] != nullptr) return;
  vlans_by_vid_[i] = entry;
  vlan_nodes_by_vid_[i] = node;
}

std::map<std::int64_t, VlanEntry>::iterator PortVlans::vlan_hint(std::int64_t vid) {
  // VLANs are read in the order the groups' copies ask for them, which is
  // no order: a tree search would miss the cache at nearly every level.
  constexpr std::size_t kNear = 64;
  if (vlans_by_vid_on_ && vid >= 0 && vid < kFlatVlanIds) {
    const auto from = static_cast<std::size_t>(vid) + 1;
    const std::size_t to = std::min(vlans_by_vid_.size(), from + kNear);
    for (std::size_t i = from; i < to; ++i) {
      const VlanEntry* entry = vlans_by_vid_[i];
      if (entry != nullptr && entry != &kVlanWithoutEntry) return vlan_nodes_by_vid_[i];
    }
  }
  return tables_.vlans.end();
}

const VlanEntry* PortVlans::vlan_entry(std::int64_t vid) const {
  if (vlans_by_vid_on_ && vid >= 0 && vid < kFlatVlanIds) {
    const auto i = static_cast<std::size_t>(vid);
    return i < vlans_by_vid_.size() ? vlans_by_vid_[i] : nullptr;
  }
  if (const auto it = tables_.vlans.find(vid); it != tables_.vlans.end()) return &it->second;
  return tables_.vlans_without_entry.contains(vid) ? &kVlanWithoutEntry : nullptr;
}

bool PortVlans::is_port_untagged_for_vid(const std::string& dport, std::int64_t vid) {
  const VlanEntry* entry = vlan_entry(vid);
  if (entry == nullptr) {
    read_vlan_(vid);
    entry = vlan_entry(vid);
  }
  if (entry == nullptr || entry == &kVlanWithoutEntry) return false;
  const auto& ports = entry->untagged_dports;
  return std::find(ports.begin(), ports.end(), dport) != ports.end();
}

std::int64_t PortVlans::ivid2evid(const std::string& dport, std::int64_t ivid) {
  const std::int64_t lport = dport2logical_port(dport);
  if (lport == -1) return ivid;
  // A translation takes precedence over untagged membership, which may cost
  // SDK commands and is therefore asked last.
  for (const bool force : {false, true}) {
    xlate_index_.sync(tables_.vlan_xlate, force);
    const std::ptrdiff_t i = xlate_index_.by_ivid(lport, ivid);
    if (i < 0) break;
    if (static_cast<std::size_t>(i) < tables_.vlan_xlate.size()) {
      const auto& x = tables_.vlan_xlate[static_cast<std::size_t>(i)];
      if (x.lport == lport && x.ivid == ivid) return x.evid;
    }
  }
  if (is_port_untagged_for_vid(dport, ivid)) return -1;
  return ivid;
}

std::int64_t PortVlans::evid2ivid(std::int64_t logical_port, std::int64_t evid) const {
  for (const bool force : {false, true}) {
    xlate_index_.sync(tables_.vlan_xlate, force);
    const std::ptrdiff_t i = xlate_index_.by_evid(logical_port, evid);
    if (i < 0) return -1;
    if (static_cast<std::size_t>(i) < tables_.vlan_xlate.size()) {
      const auto& x = tables_.vlan_xlate[static_cast<std::size_t>(i)];
      if (x.lport == logical_port && x.evid == evid) return x.ivid;
    }
  }
  return -1;
}

}  // namespace grpaudit::xlate

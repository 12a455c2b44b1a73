// Lookups between the kernel's and the ASIC's names of ports and VLANs, over
// the port map, the VLAN translation table and the VLAN cache. Where several
// entries fit, the first in table order wins, whether the tables are
// scanned or an index answers.

#include "grpaudit/xlate/port_vlans.h"

#include <algorithm>

namespace grpaudit::xlate {

const VlanEntry PortVlans::kVlanWithoutEntry(-1, {});

PortVlans::PortVlans(Tables tables, std::function<void(std::int64_t)> read_vlan)
    : tables_(tables), read_vlan_(std::move(read_vlan)) {}

PortVlans::Index PortVlans::make_index() const {
  Index ix;
  const auto& portmap = tables_.portmap;
  for (std::size_t i = 0; i < portmap.size(); ++i) {
    ix.dport[portmap[i].dport].push_back(i);
    if (portmap[i].linux_port) ix.linux_port.try_emplace(*portmap[i].linux_port, i);
  }
  const auto& xlate = tables_.vlan_xlate;
  for (std::size_t i = 0; i < xlate.size(); ++i) {
    ix.ivid.try_emplace(std::make_pair(xlate[i].lport, xlate[i].ivid), i);
    ix.evid.try_emplace(std::make_pair(xlate[i].lport, xlate[i].evid), i);
  }
  // An entry counts before a reading that stored none.
  for (const auto& [vid, entry] : tables_.vlans) ix.vlans.emplace(vid, &entry);
  for (const std::int64_t vid : tables_.vlans_without_entry)
    ix.vlans.emplace(vid, &kVlanWithoutEntry);
  return ix;
}

PortVlans::Indexed::Indexed(PortVlans& lookups) : lookups_(lookups) {
  if (lookups_.indexed_++ == 0) lookups_.index_ = std::make_unique<Index>(lookups_.make_index());
}

PortVlans::Indexed::~Indexed() {
  if (--lookups_.indexed_ == 0) lookups_.index_.reset();
}

void PortVlans::store_vlan(VlanEntry entry) {
  const std::int64_t vid = entry.vid;
  const auto stored = tables_.vlans.insert_or_assign(vid, std::move(entry)).first;
  if (index_) index_->vlans.insert_or_assign(vid, &stored->second);
}

void PortVlans::store_no_vlan(std::int64_t vid) {
  tables_.vlans_without_entry.insert(vid);
  if (index_) index_->vlans.try_emplace(vid, &kVlanWithoutEntry);
}

std::optional<std::size_t> PortVlans::first_dport(const std::string& dport) const {
  if (index_) {
    const auto it = index_->dport.find(dport);
    if (it == index_->dport.end()) return std::nullopt;
    return it->second.front();
  }
  const auto& portmap = tables_.portmap;
  const auto it = std::find_if(portmap.begin(), portmap.end(),
                               [&](const PortmapEntry& e) { return e.dport == dport; });
  if (it == portmap.end()) return std::nullopt;
  return static_cast<std::size_t>(it - portmap.begin());
}

void PortVlans::update_portmap_port_vid(const std::string& dport, std::int64_t port_vid) {
  // Every entry of that name: the port map does not enforce unique names.
  auto& portmap = tables_.portmap;
  if (index_) {
    if (const auto it = index_->dport.find(dport); it != index_->dport.end()) {
      for (const std::size_t i : it->second) portmap[i].update_port_vid(port_vid);
    }
    return;
  }
  for (auto& entry : portmap) {
    if (entry.dport == dport) entry.update_port_vid(port_vid);
  }
}

std::int64_t PortVlans::dport2logical_port(const std::string& dport) const {
  const auto i = first_dport(dport);
  return i ? tables_.portmap[*i].logical_port : -1;
}

std::pair<std::int64_t, std::int64_t> PortVlans::get_logical_port_and_pvid(
    const std::string& linux_port) const {
  const auto& portmap = tables_.portmap;
  const PortmapEntry* entry = nullptr;
  if (index_) {
    if (const auto it = index_->linux_port.find(linux_port); it != index_->linux_port.end())
      entry = &portmap[it->second];
  } else {
    const auto it = std::find_if(portmap.begin(), portmap.end(),
                                 [&](const PortmapEntry& e) { return e.linux_port == linux_port; });
    if (it != portmap.end()) entry = &*it;
  }
  if (entry == nullptr) return {-1, -1};
  return {entry->logical_port, entry->port_vid};
}

const VlanXlate* PortVlans::translation(std::int64_t lport, std::int64_t vid, bool by_ivid) const {
  const auto& xlate = tables_.vlan_xlate;
  if (index_) {
    const auto& map = by_ivid ? index_->ivid : index_->evid;
    const auto it = map.find(std::make_pair(lport, vid));
    return it == map.end() ? nullptr : &xlate[it->second];
  }
  const auto it = std::find_if(xlate.begin(), xlate.end(), [&](const VlanXlate& x) {
    return x.lport == lport && (by_ivid ? x.ivid : x.evid) == vid;
  });
  return it == xlate.end() ? nullptr : &*it;
}

const VlanEntry* PortVlans::vlan_entry(std::int64_t vid) const {
  if (index_) {
    const auto it = index_->vlans.find(vid);
    return it == index_->vlans.end() ? nullptr : it->second;
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
  if (const VlanXlate* x = translation(lport, ivid, true)) return x->evid;
  if (is_port_untagged_for_vid(dport, ivid)) return -1;
  return ivid;
}

std::int64_t PortVlans::evid2ivid(std::int64_t logical_port, std::int64_t evid) const {
  const VlanXlate* x = translation(logical_port, evid, false);
  return x == nullptr ? -1 : x->ivid;
}

}  // namespace grpaudit::xlate

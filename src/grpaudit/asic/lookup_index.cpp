#include "grpaudit/asic/lookup_index.h"

namespace grpaudit::detail {

void PortmapIndex::sync(const std::vector<PortmapEntry>& portmap, bool force) {
  if (!force && stamp_.matches(portmap)) return;
  dport_.clear();
  linux_port_.clear();
  for (std::size_t i = 0; i < portmap.size(); ++i) {
    dport_[portmap[i].dport].push_back(i);
    // try_emplace keeps the first entry of a name.
    if (portmap[i].linux_port) linux_port_.try_emplace(*portmap[i].linux_port, i);
  }
  stamp_.set(portmap);
}

const std::vector<std::size_t>* PortmapIndex::by_dport(const std::string& dport) const {
  const auto it = dport_.find(dport);
  return it == dport_.end() ? nullptr : &it->second;
}

std::ptrdiff_t PortmapIndex::by_linux_port(const std::string& linux_port) const {
  const auto it = linux_port_.find(linux_port);
  return it == linux_port_.end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
}

void VlanXlateIndex::sync(const std::vector<VlanXlate>& xlate, bool force) {
  if (!force && stamp_.matches(xlate)) return;
  ivid_.clear();
  evid_.clear();
  for (std::size_t i = 0; i < xlate.size(); ++i) {
    ivid_.try_emplace({xlate[i].lport, xlate[i].ivid}, i);
    evid_.try_emplace({xlate[i].lport, xlate[i].evid}, i);
  }
  stamp_.set(xlate);
}

std::ptrdiff_t VlanXlateIndex::by_ivid(std::int64_t lport, std::int64_t ivid) const {
  const auto it = ivid_.find({lport, ivid});
  return it == ivid_.end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
}

std::ptrdiff_t VlanXlateIndex::by_evid(std::int64_t lport, std::int64_t evid) const {
  const auto it = evid_.find({lport, evid});
  return it == evid_.end() ? -1 : static_cast<std::ptrdiff_t>(it->second);
}

void NameSetIndex::sync(const std::vector<std::string>& names) {
  if (stamp_.matches(names)) return;
  names_.clear();
  names_.insert(names.begin(), names.end());
  stamp_.set(names);
}

}  // namespace grpaudit::detail

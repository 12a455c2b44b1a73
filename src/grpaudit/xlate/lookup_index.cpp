#include "grpaudit/xlate/lookup_index.h"

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

std::size_t PairIndex::home(std::int64_t a, std::int64_t b) const {
  // Ports and VLANs are small consecutive numbers: mixed so that they spread.
  std::uint64_t h = static_cast<std::uint64_t>(a) * 0x9e3779b97f4a7c15ULL;
  h ^= static_cast<std::uint64_t>(b) + 0x632be59bd9b4e019ULL + (h << 6) + (h >> 2);
  h *= 0xbf58476d1ce4e5b9ULL;
  return static_cast<std::size_t>(h ^ (h >> 31)) & (slots_.size() - 1);
}

void PairIndex::grow() {
  std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size());
  old.swap(slots_);
  const std::size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.pos == kEmpty) continue;
    std::size_t i = home(slot.a, slot.b);
    while (slots_[i].pos != kEmpty) i = (i + 1) & mask;
    slots_[i] = slot;
  }
}

void PairIndex::try_emplace(std::int64_t a, std::int64_t b, std::size_t pos) {
  if (2 * (count_ + 1) > slots_.size()) grow();
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = home(a, b);
  for (; slots_[i].pos != kEmpty; i = (i + 1) & mask) {
    if (slots_[i].a == a && slots_[i].b == b) return;
  }
  slots_[i] = Slot{a, b, pos};
  ++count_;
}

std::ptrdiff_t PairIndex::find(std::int64_t a, std::int64_t b) const {
  if (slots_.empty()) return -1;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = home(a, b); slots_[i].pos != kEmpty; i = (i + 1) & mask) {
    if (slots_[i].a == a && slots_[i].b == b) return static_cast<std::ptrdiff_t>(slots_[i].pos);
  }
  return -1;
}

void VlanXlateIndex::sync(const std::vector<VlanXlate>& xlate, bool force) {
  if (!force && stamp_.matches(xlate)) return;
  ivid_.clear();
  evid_.clear();
  for (std::size_t i = 0; i < xlate.size(); ++i) {
    ivid_.try_emplace(xlate[i].lport, xlate[i].ivid, i);
    evid_.try_emplace(xlate[i].lport, xlate[i].evid, i);
  }
  stamp_.set(xlate);
}

std::ptrdiff_t VlanXlateIndex::by_ivid(std::int64_t lport, std::int64_t ivid) const {
  return ivid_.find(lport, ivid);
}

std::ptrdiff_t VlanXlateIndex::by_evid(std::int64_t lport, std::int64_t evid) const {
  return evid_.find(lport, evid);
}

}  // namespace grpaudit::detail

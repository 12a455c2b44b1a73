#include "grpaudit/check/audit_index.h"

namespace grpaudit::check {

AuditIndex::AuditIndex(const std::map<std::int64_t, ReplicationGroup>& groups, bool every_group) {
  std::size_t size = 16;
  while (size < 2 * groups.size()) size *= 2;
  slots_.resize(size);
  const std::size_t mask = size - 1;
  for (const auto& [id, group] : groups) {
    std::size_t i = home(id);
    while (slots_[i].group != nullptr) i = (i + 1) & mask;
    slots_[i].mcast_grp = id;
    slots_[i].group = &group;
  }
  if (every_group) {
    // In the map's order, which is mostly the order the groups were read
    // and stored in: their copies are read front to back, not one group
    // here and one there as the routes name them.
    for (const auto& [id, group] : groups) make_identities(*slot_of(id));
  }
}

std::size_t AuditIndex::home(std::int64_t mcast_grp) const {
  // Group IDs are often consecutive: a multiplicative hash spreads them.
  const std::uint64_t h = static_cast<std::uint64_t>(mcast_grp) * 0x9e3779b97f4a7c15ULL;
  return static_cast<std::size_t>(h ^ (h >> 29)) & (slots_.size() - 1);
}

const AuditIndex::Slot* AuditIndex::slot_of(std::int64_t mcast_grp) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = home(mcast_grp);; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.group == nullptr) return nullptr;
    if (slot.mcast_grp == mcast_grp) return &slot;
  }
}

const ReplicationGroup* AuditIndex::find(std::int64_t mcast_grp) const {
  const Slot* slot = slot_of(mcast_grp);
  return slot == nullptr ? nullptr : slot->group;
}

void AuditIndex::make_identities(const Slot& slot) const {
  slot.l3_at = runs_.size();
  sorted_identities(slot.group->l3_encaps, texts_);
  for (const auto& text : texts_) util::append_to_run(runs_, text);
  slot.l2_at = runs_.size();
  sorted_identities(slot.group->l2_encaps, texts_);
  for (const auto& text : texts_) util::append_to_run(runs_, text);
  slot.end = runs_.size();
}

std::optional<AuditIndex::GroupIdentities> AuditIndex::identities(std::int64_t mcast_grp) const {
  const Slot* slot = slot_of(mcast_grp);
  if (slot == nullptr) return std::nullopt;
  if (slot->l3_at == kNotMade) make_identities(*slot);
  const char* runs = runs_.data();
  return GroupIdentities{util::TextRun(runs + slot->l3_at, runs + slot->l2_at),
                         util::TextRun(runs + slot->l2_at, runs + slot->end)};
}

const KernVlanEntry* AuditIndex::kern_vlan(
    std::int64_t vid, const std::map<std::int64_t, KernVlanEntry>& cache) const {
  if (vid < 0 || vid >= kFlatVids) {
    const auto it = cache.find(vid);
    return it == cache.end() ? nullptr : &it->second;
  }
  if (!kern_vlans_made_) {
    for (const auto& [id, entry] : cache) {
      if (id < 0 || id >= kFlatVids) continue;
      const auto slot = static_cast<std::size_t>(id);
      if (slot >= kern_vlans_.size()) kern_vlans_.resize(slot + 1, nullptr);
      kern_vlans_[slot] = &entry;
    }
    kern_vlans_made_ = true;
  }
  const auto slot = static_cast<std::size_t>(vid);
  return slot < kern_vlans_.size() ? kern_vlans_[slot] : nullptr;
}

const kern::BaseDev& AuditIndex::base_dev(const std::string& name, kern::Kernel& kernel) const {
  if (const auto it = base_devs_.find(name); it != base_devs_.end()) return it->second;
  // Resolved before it is stored: resolving may fail, and then nothing is kept.
  kern::BaseDev base = kernel.base_dev(name);
  return base_devs_.try_emplace(name, std::move(base)).first->second;
}

std::optional<std::int64_t> AuditIndex::riot(
    std::int64_t vlan,
    const std::function<std::optional<std::int64_t>(std::int64_t)>& answer) const {
  if (vlan < 0 || vlan >= kFlatVids) return answer(vlan);
  const auto slot = static_cast<std::size_t>(vlan);
  if (slot < riot_.size() && riot_[slot]) return riot_[slot];
  const std::optional<std::int64_t> given = answer(vlan);
  if (given) {
    if (slot >= riot_.size()) riot_.resize(slot + 1);
    riot_[slot] = given;
  }
  return given;
}

}  // namespace grpaudit::check

// The flat indexes that the comparison of every route uses while an audit
// runs: replication groups by ID, the kernel's bridge VLAN entries and the
// RIOT answers by VLAN ID.

#include "grpaudit/asic/asic.h"

namespace grpaudit {

Asic::AuditIndexes::AuditIndexes(Asic& asic, bool every_group)
    : asic_(asic), outer_(asic.audit_indexes_) {
  std::size_t size = 16;
  while (size < 2 * asic.replication_groups.size()) size *= 2;
  slots_.resize(size);
  const std::size_t mask = size - 1;
  for (const auto& [id, group] : asic.replication_groups) {
    std::size_t i = home(id);
    while (slots_[i].group != nullptr) i = (i + 1) & mask;
    slots_[i].mcast_grp = id;
    slots_[i].group = &group;
  }
  if (every_group) {
    // In the map's order, which is mostly the order the groups were read
    // and stored in: their copies are read front to back, not one group
    // here and one there as the routes name them.
    for (const auto& [id, group] : asic.replication_groups) make_identities(*slot_of(id));
  }
  asic_.audit_indexes_ = this;
}

Asic::AuditIndexes::~AuditIndexes() {
  asic_.audit_indexes_ = outer_;
}

std::size_t Asic::AuditIndexes::home(std::int64_t mcast_grp) const {
  // Group IDs are often consecutive: a multiplicative hash spreads them.
  const std::uint64_t h = static_cast<std::uint64_t>(mcast_grp) * 0x9e3779b97f4a7c15ULL;
  return static_cast<std::size_t>(h ^ (h >> 29)) & (slots_.size() - 1);
}

const Asic::AuditIndexes::Slot* Asic::AuditIndexes::slot_of(std::int64_t mcast_grp) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = home(mcast_grp);; i = (i + 1) & mask) {
    const Slot& slot = slots_[i];
    if (slot.group == nullptr) return nullptr;
    if (slot.mcast_grp == mcast_grp) return &slot;
  }
}

const ReplicationGroup* Asic::AuditIndexes::find(std::int64_t mcast_grp) const {
  const Slot* slot = slot_of(mcast_grp);
  return slot == nullptr ? nullptr : slot->group;
}

void Asic::AuditIndexes::make_identities(const Slot& slot) const {
  // Kept from group to group: an audit runs on one thread.
  static thread_local std::vector<std::string> texts;
  slot.l3_at = runs_.size();
  sorted_identities(slot.group->l3_encaps, texts);
  for (const auto& text : texts) util::append_to_run(runs_, text);
  slot.l2_at = runs_.size();
  sorted_identities(slot.group->l2_encaps, texts);
  for (const auto& text : texts) util::append_to_run(runs_, text);
  slot.end = runs_.size();
}

std::optional<Asic::AuditIndexes::GroupIdentities> Asic::AuditIndexes::identities(
    std::int64_t mcast_grp) const {
  const Slot* slot = slot_of(mcast_grp);
  if (slot == nullptr) return std::nullopt;
  if (slot->l3_at == kNotMade) make_identities(*slot);
  const char* runs = runs_.data();
  return GroupIdentities{util::TextRun(runs + slot->l3_at, runs + slot->l2_at),
                         util::TextRun(runs + slot->l2_at, runs + slot->end)};
}

void Asic::AuditIndexes::prefetch(std::int64_t mcast_grp, bool group) const {
  const Slot& slot = slots_[home(mcast_grp)];
  if (!group) {
    __builtin_prefetch(&slot);
    return;
  }
  if (slot.group == nullptr || slot.mcast_grp != mcast_grp) return;
  if (slot.l3_at != kNotMade) {
    const char* at = runs_.data() + slot.l3_at;
    for (std::size_t off = 0; off < slot.end - slot.l3_at && off < 4 * 64; off += 64)
      __builtin_prefetch(at + off);
    return;
  }
  __builtin_prefetch(slot.group);
  for (const auto* encaps : {&slot.group->l3_encaps, &slot.group->l2_encaps}) {
    // The first copies, within the list; the rest follow in order, which the
    // processor sees.
    const char* at = reinterpret_cast<const char*>(encaps->data());
    const std::size_t bytes = encaps->size() * sizeof(Encap);
    for (std::size_t off = 0; off < bytes && off < 4 * 64; off += 64) __builtin_prefetch(at + off);
  }
}

const KernVlanEntry* Asic::kern_vlan_entry(std::int64_t vid) {
  if (audit_indexes_ != nullptr && kern_vlan_cache_created && vid >= 0 &&
      vid < AuditIndexes::kFlatVids) {
    const AuditIndexes& ix = *audit_indexes_;
    if (!ix.kern_vlans_made_) {
      // The cache is read once and not changed after: indexed once.
      for (const auto& [id, entry] : kern_vlan_cache) {
        if (id < 0 || id >= AuditIndexes::kFlatVids) continue;
        const auto slot = static_cast<std::size_t>(id);
        if (slot >= ix.kern_vlans_.size()) ix.kern_vlans_.resize(slot + 1, nullptr);
        ix.kern_vlans_[slot] = &entry;
      }
      ix.kern_vlans_made_ = true;
    }
    const auto slot = static_cast<std::size_t>(vid);
    return slot < ix.kern_vlans_.size() ? ix.kern_vlans_[slot] : nullptr;
  }
  const auto it = kern_vlan_cache.find(vid);
  return it == kern_vlan_cache.end() ? nullptr : &it->second;
}

}  // namespace grpaudit

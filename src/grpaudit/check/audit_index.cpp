#include "grpaudit/check/audit_index.h"

#include <algorithm>

#include "grpaudit/util/text.h"

namespace grpaudit::check {

AuditIndex::AuditIndex(const std::map<std::int64_t, ReplicationGroup>& groups) {
  groups_.reserve(groups.size());
  for (const auto& [id, group] : groups) groups_.emplace(id, Group{&group, std::nullopt});
}

const ReplicationGroup* AuditIndex::find(std::int64_t mcast_grp) const {
  const auto it = groups_.find(mcast_grp);
  return it == groups_.end() ? nullptr : it->second.group;
}

std::uint32_t AuditIndex::intern(const std::string& text) const {
  const auto [it, added] = ids_.try_emplace(text, static_cast<std::uint32_t>(texts_.size()));
  if (added) texts_.push_back(text);
  return it->second;
}

AuditIndex::Ids AuditIndex::ids_of(const std::vector<Encap>& encaps) const {
  Ids ids;
  ids.reserve(encaps.size());
  for (const Encap& e : encaps) {
    // encap2swp, formed in a string kept from copy to copy.
    if (e.evid == -1) {
      ids.push_back(intern(e.linux_port));
    } else {
      util::dot_join_into(scratch_, e.linux_port, e.evid);
      ids.push_back(intern(scratch_));
    }
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

const AuditIndex::GroupIds* AuditIndex::group_ids(std::int64_t mcast_grp) const {
  const auto it = groups_.find(mcast_grp);
  if (it == groups_.end()) return nullptr;
  const Group& g = it->second;
  if (!g.ids) g.ids = GroupIds{ids_of(g.group->l3_encaps), ids_of(g.group->l2_encaps)};
  return &*g.ids;
}

const AuditIndex::Expansion* AuditIndex::expansion(const std::string& key) const {
  const auto it = expansions_.find(key);
  return it == expansions_.end() ? nullptr : &it->second;
}

const AuditIndex::Expansion& AuditIndex::remember(const std::string& key,
                                                  Expansion expansion) const {
  return expansions_.insert_or_assign(key, std::move(expansion)).first->second;
}

const KernVlanEntry* AuditIndex::kern_vlan(
    std::int64_t vid, const std::map<std::int64_t, KernVlanEntry>& cache) const {
  if (!kern_vlans_made_) {
    for (const auto& [id, entry] : cache) kern_vlans_.emplace(id, &entry);
    kern_vlans_made_ = true;
  }
  const auto it = kern_vlans_.find(vid);
  return it == kern_vlans_.end() ? nullptr : it->second;
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
  if (const auto it = riot_.find(vlan); it != riot_.end()) return it->second;
  const std::optional<std::int64_t> given = answer(vlan);
  if (given) riot_.emplace(vlan, *given);
  return given;
}

}  // namespace grpaudit::check

// Expanding one kernel interface into the replication identities that the
// ASIC must produce for it.

#include <algorithm>

#include "grpaudit/check/comparison.h"
#include "grpaudit/records/group_mac.h"
#include "grpaudit/util/text.h"

namespace grpaudit::check {
namespace {

std::string tagged(const std::string& name, std::int64_t vlan) {
  return util::dot_join(name, vlan);
}

// A member list of a bridge without a copy of it: one or two runs of names
// held by the kernel caches, or a list of its own.
struct MemberRuns {
  const std::vector<std::string>* first = nullptr;
  const std::vector<std::string>* second = nullptr;
  std::vector<std::string> own;

  bool empty() const {
    return (first == nullptr || first->empty()) && (second == nullptr || second->empty());
  }
  template <typename F>
  void for_each(F&& f) const {
    if (first != nullptr) {
      for (const auto& m : *first) f(m);
    }
    if (second != nullptr) {
      for (const auto& m : *second) f(m);
    }
  }
};

}  // namespace

void Comparison::expand_kern_dev(const std::string& grp, const std::string& orig_dev,
                                 std::int64_t parent_vlan, const AuditIndex* index) {
  kern::BaseDev own;
  const kern::BaseDev& base = index != nullptr ? index->base_dev(orig_dev, s_.kernel)
                                               : (own = s_.kernel.base_dev(orig_dev));
  expand_base_dev(grp, *base.kind, base.dev, base.own_vlan ? base.vlan : parent_vlan, index);
}

void Comparison::expand_base_dev(const std::string& grp, const std::string& kind,
                                 const std::string& dev, std::int64_t vlan,
                                 const AuditIndex* index) {
  if (std::find(kDevsSupported.begin(), kDevsSupported.end(), kind) == kDevsSupported.end()) {
    return;
  }
  if (kind == "bridge") {
    const std::int64_t vlan_filtering = s_.kernel.dev_vlan_filtering_get(dev);
    // expand_bridge, reading the members in place: an SVI's VLAN floods to
    // all its ports, and a large switch asks for it on every route.
    MemberRuns members;
    const std::string& grp_mac = group_mac_of(grp);
    if (const KernMdbEntry* entry =
            s_.kernel.dev_get_mdb_entry(dev, vlan_filtering != 0 ? vlan : -1, grp_mac)) {
      members.first = &entry->swp;
    } else if (s_.flood_mdb_misses && vlan_filtering != 0) {
      // get_vlan_members: the tagged ports, then the untagged ones.
      if (const KernVlanEntry* entry = kern_vlan_entry(vlan, index)) {
        members.first = &entry->tagged_swp;
        members.second = &entry->untagged_swp;
      }
    } else if (s_.flood_mdb_misses) {
      members.own = s_.kernel.get_br_members(dev);
      members.first = &members.own;
    }
    if (vlan_filtering == 0) {
      members.for_each([this](const std::string& m) { s_.tmp_encaps.insert(m); });
    } else if (!members.empty()) {
      // is_untagged_vlan_member for each member, the table looked up
      // once: nothing between two members can change it.
      const KernVlanEntry* entry = kern_vlan_entry(vlan, index);
      const std::vector<std::string>* untagged = entry == nullptr ? nullptr : &entry->untagged_swp;
      members.for_each([&](const std::string& m) {
        // An untagged member's copy carries no VLAN on the wire.
        if (untagged != nullptr &&
            std::find(untagged->begin(), untagged->end(), m) != untagged->end()) {
          s_.tmp_encaps.insert(m);
        } else {
          s_.tmp_encaps.insert(tagged(m, vlan));
        }
      });
    }
  } else if (kind == "bond") {
    for (const auto& member : s_.kernel.expand_bond(dev)) {
      s_.tmp_encaps.insert(vlan == -1 ? member : tagged(member, vlan));
    }
  } else if (kind == "swp") {
    s_.tmp_encaps.insert(vlan == -1 ? dev : tagged(dev, vlan));
  }
  // A VLAN device that did not resolve to its base device adds nothing.
}

const std::string& Comparison::group_mac_of(const std::string& grp) {
  if (!mac_valid_ || grp != mac_grp_) {
    mac_valid_ = false;
    group_mac_into(mac_, grp);
    mac_grp_ = grp;
    mac_valid_ = true;
  }
  return mac_;
}

const KernVlanEntry* Comparison::kern_vlan_entry(std::int64_t vid, const AuditIndex* index) {
  if (!s_.kernel.vlan_cache_created()) s_.kernel.create_vlan_cache();
  return index != nullptr ? index->kern_vlan(vid, s_.kernel.vlan_cache())
                          : s_.kernel.vlan_entry(vid);
}

bool Comparison::is_untagged_vlan_member(std::int64_t vlan, const std::string& member) {
  const KernVlanEntry* entry = kern_vlan_entry(vlan, nullptr);
  if (entry == nullptr) return false;
  const auto& untagged = entry->untagged_swp;
  return std::find(untagged.begin(), untagged.end(), member) != untagged.end();
}

std::vector<std::string> Comparison::expand_bridge(std::int64_t vlan_filtering,
                                                   const std::string& grp, const std::string& dev,
                                                   std::int64_t vlan) {
  const std::string grp_mac = group_mac(grp);
  if (vlan_filtering != 0) return expand_vlan_aware_bridge(grp_mac, dev, vlan);
  return expand_vlan_unaware_bridge(grp_mac, dev);
}

std::vector<std::string> Comparison::expand_vlan_aware_bridge(const std::string& grp_mac,
                                                              const std::string& dev,
                                                              std::int64_t vlan) {
  if (const KernMdbEntry* entry = s_.kernel.dev_get_mdb_entry(dev, vlan, grp_mac))
    return entry->swp;
  if (s_.flood_mdb_misses) return s_.kernel.get_vlan_members(vlan);
  return {};
}

std::vector<std::string> Comparison::expand_vlan_unaware_bridge(const std::string& grp_mac,
                                                                const std::string& dev) {
  if (const KernMdbEntry* entry = s_.kernel.dev_get_mdb_entry(dev, -1, grp_mac)) return entry->swp;
  if (s_.flood_mdb_misses) return s_.kernel.get_br_members(dev);
  return {};
}

}  // namespace grpaudit::check

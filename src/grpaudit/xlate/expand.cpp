// Expanding one kernel interface into the replication identities that the
// ASIC must produce for it.

#include <algorithm>

#include "grpaudit/asic/asic.h"
#include "grpaudit/records/group_mac.h"
#include "grpaudit/util/text.h"

namespace grpaudit {
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

void Asic::_expand_kern_dev(const std::string& grp, const std::string& orig_dev,
                            std::int64_t parent_vlan) {
  // _kern_base_dev_kind_get, without copying the names.
  const kern::BaseDev& base = kernel_.base_dev(orig_dev);
  expand_base_dev(grp, *base.kind, base.dev, base.own_vlan ? base.vlan : parent_vlan);
}

void Asic::expand_base_dev(const std::string& grp, const std::string& kind, const std::string& dev,
                           std::int64_t vlan) {
  if (std::find(_devs_supported.begin(), _devs_supported.end(), kind) == _devs_supported.end()) {
    return;
  }
  if (kind == "bridge") {
    const std::int64_t vlan_filtering = _kern_dev_vlan_filtering_get(dev);
    // _expand_kern_bridge, reading the members in place: an SVI's VLAN
    // floods to all its ports, and a large switch asks for it on every route.
    MemberRuns members;
    // _grp_ip2mac(grp), formed once for the run of interfaces of one route:
    // they all ask it for the same group.
    // A group that is not an address throws every time, as it always did.
    static thread_local bool memo_valid = false;
    static thread_local std::string memo_grp;
    static thread_local std::string memo_mac;
    if (!memo_valid || grp != memo_grp) {
      memo_valid = false;
      group_mac_into(memo_mac, grp);
      memo_grp = grp;
      memo_valid = true;
    }
    const std::string& grp_mac = memo_mac;
    if (const KernMdbEntry* entry =
            _kern_dev_get_mdb_entry(dev, vlan_filtering != 0 ? vlan : -1, grp_mac)) {
      members.first = &entry->swp;
    } else if (flood_mdb_misses && vlan_filtering != 0) {
      // _kern_get_vlan_members: the tagged ports, then the untagged ones.
      if (!kern_vlan_cache_created) _kern_create_vlan_cache();
      if (const KernVlanEntry* entry = kern_vlan_entry(vlan)) {
        members.first = &entry->tagged_swp;
        members.second = &entry->untagged_swp;
      }
    } else if (flood_mdb_misses) {
      members.own = _kern_get_br_members(dev);
      members.first = &members.own;
    }
    if (vlan_filtering == 0) {
      members.for_each([this](const std::string& m) { tmp_encaps.insert(m); });
    } else if (!members.empty()) {
      // _kern_is_untagged_vlan_member for each member, the table looked up
      // once: nothing between two members can change it.
      if (!kern_vlan_cache_created) _kern_create_vlan_cache();
      const KernVlanEntry* entry = kern_vlan_entry(vlan);
      const std::vector<std::string>* untagged = entry == nullptr ? nullptr : &entry->untagged_swp;
      members.for_each([&](const std::string& m) {
        // An untagged member's copy carries no VLAN on the wire.
        if (untagged != nullptr &&
            std::find(untagged->begin(), untagged->end(), m) != untagged->end()) {
          tmp_encaps.insert(m);
        } else {
          tmp_encaps.insert(tagged(m, vlan));
        }
      });
    }
  } else if (kind == "bond") {
    for (const auto& member : _expand_kern_bond(dev)) {
      tmp_encaps.insert(vlan == -1 ? member : tagged(member, vlan));
    }
  } else if (kind == "swp") {
    tmp_encaps.insert(vlan == -1 ? dev : tagged(dev, vlan));
  }
  // A VLAN device that did not resolve to its base device adds nothing.
}

bool Asic::_kern_is_untagged_vlan_member(std::int64_t vlan, const std::string& member) {
  if (!kern_vlan_cache_created) _kern_create_vlan_cache();
  const KernVlanEntry* entry = kern_vlan_entry(vlan);
  if (entry == nullptr) return false;
  const auto& untagged = entry->untagged_swp;
  return std::find(untagged.begin(), untagged.end(), member) != untagged.end();
}

std::vector<std::string> Asic::_expand_kern_bridge(std::int64_t vlan_filtering,
                                                   const std::string& grp, const std::string& dev,
                                                   std::int64_t vlan) {
  const std::string grp_mac = _grp_ip2mac(grp);
  if (vlan_filtering != 0) return _expand_kern_vlan_aware_bridge(grp_mac, dev, vlan);
  return _expand_kern_vlan_unaware_bridge(grp_mac, dev);
}

std::vector<std::string> Asic::_expand_kern_vlan_aware_bridge(const std::string& grp_mac,
                                                              const std::string& dev,
                                                              std::int64_t vlan) {
  if (const KernMdbEntry* entry = _kern_dev_get_mdb_entry(dev, vlan, grp_mac)) return entry->swp;
  if (flood_mdb_misses) return _kern_get_vlan_members(vlan);
  return {};
}

std::vector<std::string> Asic::_expand_kern_vlan_unaware_bridge(const std::string& grp_mac,
                                                                const std::string& dev) {
  if (const KernMdbEntry* entry = _kern_dev_get_mdb_entry(dev, -1, grp_mac)) return entry->swp;
  if (flood_mdb_misses) return _kern_get_br_members(dev);
  return {};
}

}  // namespace grpaudit

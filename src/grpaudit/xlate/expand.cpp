// Expanding one kernel interface into the replication identities that the
// ASIC must produce for it.

#include <algorithm>

#include <fmt/format.h>

#include "grpaudit/asic/asic.h"

namespace grpaudit {
namespace {

std::string tagged(const std::string& name, std::int64_t vlan) {
  return fmt::format("{}.{}", name, vlan);
}

}  // namespace

void Asic::_expand_kern_dev(const std::string& grp, const std::string& orig_dev,
                            std::int64_t parent_vlan) {
  const auto [kind, dev, vlan] = _kern_base_dev_kind_get(orig_dev, parent_vlan);
  if (std::find(_devs_supported.begin(), _devs_supported.end(), kind) == _devs_supported.end()) {
    return;
  }
  if (kind == "bridge") {
    const std::int64_t vlan_filtering = _kern_dev_vlan_filtering_get(dev);
    const auto members = _expand_kern_bridge(vlan_filtering, grp, dev, vlan);
    for (const auto& member : members) {
      if (vlan_filtering == 0) {
        tmp_encaps.insert(member);
      } else if (_kern_is_untagged_vlan_member(vlan, member)) {
        // An untagged member's copy carries no VLAN on the wire.
        tmp_encaps.insert(member);
      } else {
        tmp_encaps.insert(tagged(member, vlan));
      }
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
  const auto it = kern_vlan_cache.find(vlan);
  if (it == kern_vlan_cache.end()) return false;
  const auto& untagged = it->second.untagged_swp;
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

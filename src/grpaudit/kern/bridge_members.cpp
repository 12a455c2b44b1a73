// The ports of a VLAN-unaware bridge, as names the switch ports map to: bonds
// replaced by their links. Read once per bridge.

#include <system_error>

#include "grpaudit/asic/asic.h"
#include "grpaudit/kern/kern_io.h"
#include "grpaudit/util/text.h"

namespace grpaudit {

std::vector<std::string> Asic::_kern_get_br_members(const std::string& dev) {
  const auto it = kern_br_cache.find(dev);
  if (it != kern_br_cache.end()) return it->second;
  return _kern_setup_br_cache(dev);
}

std::vector<std::string> Asic::_kern_setup_br_cache(const std::string& dev) {
  std::vector<std::string> members;
  if (!kern::kernel_cannot_name(dev)) {
    try {
      members = host()->list_dir("/sys/class/net/" + dev + "/brif");
    } catch (const std::system_error&) {
      // Not a bridge, or no such device: no ports.
    }
  }

  std::vector<std::string> new_members;
  for (const auto& member : members) {
    const auto [kind, new_member, new_vlan] = _kern_base_dev_kind_get(member);
    if (kind != "bond") {
      // A port sub-interface keeps its own name.
      new_members.push_back(member);
      continue;
    }
    for (const auto& link : _expand_kern_bond(new_member)) {
      new_members.push_back(new_vlan == -1 ? link : util::dot_join(link, new_vlan));
    }
  }
  return kern_br_cache.insert_or_assign(dev, std::move(new_members)).first->second;
}

}  // namespace grpaudit

// The ports of a VLAN-unaware bridge, as names the switch ports map to: bonds
// replaced by their links. Read once per bridge.

#include <system_error>

#include <fmt/format.h>

#include "grpaudit/kern/kern_io.h"
#include "grpaudit/kern/kernel.h"
#include "grpaudit/util/text.h"

namespace grpaudit::kern {

std::vector<std::string> Kernel::get_br_members(const std::string& dev) {
  const auto it = caches_.br.find(dev);
  if (it != caches_.br.end()) return it->second;
  return setup_br_cache(dev);
}

std::vector<std::string> Kernel::setup_br_cache(const std::string& dev) {
  std::vector<std::string> members;
  if (!kern::kernel_cannot_name(dev)) {
    try {
      members = host_->list_dir("/sys/class/net/" + dev + "/brif");
    } catch (const std::system_error& e) {
      // Asked only of bridges: one whose port list is missing is taken as
      // having no ports, which the report should not pass over in silence.
      warnings_.add(fmt::format("{}; bridge {} is taken as having no ports", e.what(), dev));
    }
  }

  std::vector<std::string> new_members;
  for (const auto& member : members) {
    const auto [kind, new_member, new_vlan] = base_dev_kind_get(member, -1);
    if (kind != "bond") {
      // A port sub-interface keeps its own name.
      new_members.push_back(member);
      continue;
    }
    for (const auto& link : expand_bond(new_member)) {
      new_members.push_back(new_vlan == -1 ? link : util::dot_join(link, new_vlan));
    }
  }
  return caches_.br.insert_or_assign(dev, std::move(new_members)).first->second;
}

}  // namespace grpaudit::kern

// The hardware VLAN on which a route's packets arrive, from the kernel side.

#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"
#include "grpaudit/xlate/port_vlans.h"

namespace grpaudit::xlate {

std::int64_t PortVlans::kern_iif_to_hw_vlan(const std::string& base_kind, std::int64_t iif_vlan,
                                            const std::string& member) const {
  // A bridge's VLAN interface receives on that VLAN itself.
  if (base_kind == "bridge" && iif_vlan != -1) return iif_vlan;
  if (member.empty()) return -1;

  // The pieces at "." of the member: the port, then the wire VLAN, if any.
  const std::size_t dot = member.find('.');
  const std::string linux_port = member.substr(0, dot);
  std::int64_t wire_vlan = -1;
  if (dot != std::string::npos) {
    const std::string_view rest = std::string_view(member).substr(dot + 1);
    wire_vlan = util::parse_dec(rest.substr(0, rest.find('.')));
  }
  const auto [logical_port, pvid] = get_logical_port_and_pvid(linux_port);
  // Untagged arrivals land in the port's default VLAN, tagged ones in the
  // VLAN that the port's translation gives for the wire VLAN.
  if (wire_vlan == -1) return pvid;
  return evid2ivid(logical_port, wire_vlan);
}

}  // namespace grpaudit::xlate

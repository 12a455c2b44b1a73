// The hardware VLAN on which a route's packets arrive, from the kernel side.

#include "grpaudit/asic/asic.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit {

std::int64_t Asic::_kern_iif_to_hw_vlan(const std::string& base_kind,
                                        const std::string& /*base_iif*/, std::int64_t iif_vlan,
                                        const std::string& member) {
  // A bridge's VLAN interface receives on that VLAN itself.
  if (base_kind == "bridge" && iif_vlan != -1) return iif_vlan;
  if (member.empty()) return -1;

  const auto pieces = util::split_at(member, ".");
  const std::string linux_port(pieces[0]);
  const std::int64_t wire_vlan = pieces.size() >= 2 ? util::parse_dec(pieces[1]) : -1;
  const auto [logical_port, pvid] = _get_logical_port_and_pvid(linux_port);
  // Untagged arrivals land in the port's default VLAN, tagged ones in the
  // VLAN that the port's translation gives for the wire VLAN.
  if (wire_vlan == -1) return pvid;
  return _evid2ivid(logical_port, wire_vlan);
}

}  // namespace grpaudit

// The Asic's port and VLAN lookups: each the translation part's own
// (xlate/port_vlans.h).

#include "grpaudit/asic/asic.h"
#include "grpaudit/records/group_mac.h"

namespace grpaudit {

void Asic::_update_portmap_port_vid(const std::string& dport, std::int64_t port_vid) {
  port_vlans_.update_portmap_port_vid(dport, port_vid);
}

std::int64_t Asic::_dport2logical_port(const std::string& dport) const {
  return port_vlans_.dport2logical_port(dport);
}

std::pair<std::int64_t, std::int64_t> Asic::_get_logical_port_and_pvid(
    const std::string& linux_port) const {
  return port_vlans_.get_logical_port_and_pvid(linux_port);
}

bool Asic::_is_port_untagged_for_vid(const std::string& dport, std::int64_t vid) {
  return port_vlans_.is_port_untagged_for_vid(dport, vid);
}

std::int64_t Asic::_ivid2evid(const std::string& dport, std::int64_t ivid) {
  return port_vlans_.ivid2evid(dport, ivid);
}

std::int64_t Asic::_evid2ivid(std::int64_t logical_port, std::int64_t evid) const {
  return port_vlans_.evid2ivid(logical_port, evid);
}

std::string Asic::_grp_ip2mac(std::string_view grp) {
  return group_mac(grp);
}

std::int64_t Asic::_kern_iif_to_hw_vlan(const std::string& base_kind,
                                        const std::string& /*base_iif*/, std::int64_t iif_vlan,
                                        const std::string& member) {
  return port_vlans_.kern_iif_to_hw_vlan(base_kind, iif_vlan, member);
}

}  // namespace grpaudit

// Lookups between the kernel's and the ASIC's names of ports and VLANs, over
// the port map, the VLAN translation table and the VLAN cache. Where several
// entries fit, the first in table order wins.

#include <fmt/format.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "grpaudit/asic/asic.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit {

void Asic::_update_portmap_port_vid(const std::string& dport, std::int64_t port_vid) {
  // Every entry of that name: the port map does not enforce unique names.
  for (auto& entry : portmap) {
    if (entry.dport == dport) entry.update_port_vid(port_vid);
  }
}

std::int64_t Asic::_dport2logical_port(const std::string& dport) const {
  for (const auto& entry : portmap) {
    if (entry.dport == dport) return entry.logical_port;
  }
  return -1;
}

std::pair<std::int64_t, std::int64_t> Asic::_get_logical_port_and_pvid(
    const std::string& linux_port) const {
  for (const auto& entry : portmap) {
    if (entry.linux_port == linux_port) return {entry.logical_port, entry.port_vid};
  }
  return {-1, -1};
}

bool Asic::_is_port_untagged_for_vid(const std::string& dport, std::int64_t vid) {
  auto it = vlans.find(vid);
  if (it == vlans.end()) {
    if (vlans_without_entry.contains(vid)) return false;
    _parse_vlan(vid);
    it = vlans.find(vid);
    if (it == vlans.end()) return false;
  }
  const auto& ports = it->second.untagged_dports;
  return std::find(ports.begin(), ports.end(), dport) != ports.end();
}

std::int64_t Asic::_ivid2evid(const std::string& dport, std::int64_t ivid) {
  const std::int64_t lport = _dport2logical_port(dport);
  if (lport == -1) return ivid;
  // A translation takes precedence over untagged membership, which may cost
  // SDK commands and is therefore asked last.
  for (const auto& x : vlan_xlate) {
    if (x.lport == lport && x.ivid == ivid) return x.evid;
  }
  if (_is_port_untagged_for_vid(dport, ivid)) return -1;
  return ivid;
}

std::int64_t Asic::_evid2ivid(std::int64_t logical_port, std::int64_t evid) const {
  for (const auto& x : vlan_xlate) {
    if (x.lport == logical_port && x.evid == evid) return x.ivid;
  }
  return -1;
}

std::string Asic::_grp_ip2mac(std::string_view grp) {
  std::vector<std::int64_t> octets;
  for (const std::string_view piece : util::split_at(grp, ".")) {
    octets.push_back(util::parse_dec(piece));
  }
  if (octets.size() < 4) {
    throw std::out_of_range("not a dotted IPv4 group address: " + util::quote(grp));
  }
  // The low 23 bits of the group go into 01:00:5e:00:00:00.
  return fmt::format("01:00:5e:{:02x}:{:02x}:{:02x}", octets[1] & 0x7f, octets[2], octets[3]);
}

}  // namespace grpaudit

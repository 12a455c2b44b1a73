#include "grpaudit/records/hw_records.h"

#include <algorithm>
#include <iterator>

#include <fmt/format.h>

#include "grpaudit/util/text.h"

namespace grpaudit {

Hmroute::Hmroute(std::string sip_, std::string dip_, std::int64_t iif_, std::int64_t mcast_grp,
                 std::string vrf_)
    : sip(std::move(sip_)),
      dip(std::move(dip_)),
      iif(iif_),
      grp(mcast_grp | kMcastGroupTypeBits),
      vrf(std::move(vrf_)) {}

std::string Hmroute::str() const {
  std::string out = fmt::format("{}, ({},{}), iif: ", vrf, sip, dip);
  if (kernel_iif && !kernel_iif->empty()) {
    out += *kernel_iif;
  } else {
    out += std::to_string(iif);
  }
  if (!iif_mismatch.empty() || !oil_mismatch.empty()) out += "\n  errors:";
  for (const auto& m : iif_mismatch) out += "\n    " + m;
  for (const auto& m : oil_mismatch) out += "\n    " + m;
  return out;
}

Encap::Encap(std::string linux_port_, std::string bcm_dport_, std::int64_t intf_,
             std::int64_t vlan_, std::int64_t evid_)
    : linux_port(std::move(linux_port_)),
      bcm_dport(std::move(bcm_dport_)),
      intf(intf_),
      vlan(vlan_),
      evid(evid_) {}

std::string Encap::encap2swp() const {
  if (evid == -1) return linux_port;
  return util::dot_join(linux_port, evid);
}

void sorted_identities(const std::vector<Encap>& encaps, std::vector<std::string>& out) {
  out.resize(encaps.size());
  for (std::size_t i = 0; i < encaps.size(); ++i) {
    // encap2swp, formed in the string kept from an earlier call.
    const Encap& e = encaps[i];
    if (e.evid == -1) {
      out[i].assign(e.linux_port);
    } else {
      util::dot_join_into(out[i], e.linux_port, e.evid);
    }
  }
  std::sort(out.begin(), out.end(), util::bytes_less);
  out.erase(std::unique(out.begin(), out.end()), out.end());
}

std::string Encap::str() const {
  if (evid == -1) return "port: " + linux_port;
  return fmt::format("port: {}, vlan: {}", linux_port, evid);
}

ReplicationGroup::ReplicationGroup(std::int64_t mcast_grp_, std::vector<Encap> l2,
                                   std::vector<Encap> l3)
    : mcast_grp(mcast_grp_), l2_encaps(std::move(l2)), l3_encaps(std::move(l3)) {}

namespace {
std::set<std::string> identities(const std::vector<Encap>& encaps) {
  std::set<std::string> out;
  for (const auto& e : encaps) out.insert(e.encap2swp());
  return out;
}
}  // namespace

std::set<std::string> ReplicationGroup::get_l3_linux_encaps() const {
  return identities(l3_encaps);
}

std::set<std::string> ReplicationGroup::get_l2_linux_encaps() const {
  return identities(l2_encaps);
}

std::string ReplicationGroup::str() const {
  std::string out;
  for (const auto& e : l3_encaps) fmt::format_to(std::back_inserter(out), "  {}\n", e);
  if (!l2_encaps.empty()) out += "  L2 replication ports:\n";
  for (const auto& e : l2_encaps) fmt::format_to(std::back_inserter(out), "    {}\n", e);
  return out;
}

PortmapEntry::PortmapEntry(std::string dport_, std::int64_t logical_port_,
                           std::optional<std::string> linux_port_)
    : dport(std::move(dport_)), logical_port(logical_port_), linux_port(std::move(linux_port_)) {}

std::string PortmapEntry::str() const {
  return fmt::format("dport: {}, lport: {}, linux_port: {}, port_vid: {}", dport, logical_port,
                     linux_port ? *linux_port : std::string("None"), port_vid);
}

VlanEntry::VlanEntry(std::int64_t vid_, std::vector<std::string> untagged)
    : vid(vid_), untagged_dports(std::move(untagged)) {}

std::string VlanEntry::str() const {
  return fmt::format("vid: {}, untagged_ports: {}", vid, fmt::join(untagged_dports, ","));
}

VlanXlate::VlanXlate(std::int64_t lport_, std::int64_t ivid_, std::int64_t evid_)
    : lport(lport_), ivid(ivid_), evid(evid_) {}

std::string VlanXlate::str() const {
  return fmt::format("lport: {}, ivid: {}, evid: {}", lport, ivid, evid);
}

std::ostream& operator<<(std::ostream& os, const Hmroute& r) {
  return os << r.str();
}
std::ostream& operator<<(std::ostream& os, const Encap& e) {
  return os << e.str();
}
std::ostream& operator<<(std::ostream& os, const ReplicationGroup& g) {
  return os << g.str();
}
std::ostream& operator<<(std::ostream& os, const PortmapEntry& p) {
  return os << p.str();
}
std::ostream& operator<<(std::ostream& os, const VlanEntry& v) {
  return os << v.str();
}
std::ostream& operator<<(std::ostream& os, const VlanXlate& x) {
  return os << x.str();
}

}  // namespace grpaudit

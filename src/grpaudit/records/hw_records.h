#pragma once
// The hardware side of the model: routes, replication groups and their
// entries, ports, VLANs and VLAN translations, as the SDK shell lists them.

#include <cstdint>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "grpaudit/records/record_format.h"

namespace grpaudit {

// The replication group id of a route: the multicast index with its type bits.
inline constexpr std::int64_t kMcastGroupTypeBits = 0x2000000;

// One multicast route of the ASIC.
struct Hmroute {
  Hmroute(std::string sip, std::string dip, std::int64_t iif, std::int64_t mcast_grp,
          std::string vrf);

  std::string sip;
  std::string dip;
  std::int64_t iif;
  std::optional<std::string> kernel_iif;  // shown instead of iif when set and non-empty
  std::int64_t grp;
  std::vector<std::string> iif_mismatch;
  std::vector<std::string> oil_mismatch;
  std::string vrf;

  std::string str() const;
};

// One replication entry: where a copy leaves the ASIC.
struct Encap {
  Encap(std::string linux_port, std::string bcm_dport, std::int64_t intf, std::int64_t vlan,
        std::int64_t evid);

  std::string linux_port;
  std::string bcm_dport;
  std::int64_t intf;  // L3 interface of a routed copy; -1 for a bridged copy
  std::int64_t vlan;  // internal VLAN of that L3 interface, -1 when unknown
  std::int64_t evid;  // VLAN on the wire, -1 when the copy leaves untagged

  // The replication identity: "swp3", or "swp3.100" for a copy tagged 100.
  std::string encap2swp() const;
  std::string str() const;
};

// The replication identities of `encaps`, sorted byte-wise (as in a
// std::set<std::string>) and unique, into `out`, whose strings are reused.
void sorted_identities(const std::vector<Encap>& encaps, std::vector<std::string>& out);

// One multicast replication group of the ASIC.
struct ReplicationGroup {
  ReplicationGroup(std::int64_t mcast_grp, std::vector<Encap> l2_encaps,
                   std::vector<Encap> l3_encaps);

  std::int64_t mcast_grp;
  std::vector<Encap> l2_encaps;
  std::vector<Encap> l3_encaps;

  std::set<std::string> get_l3_linux_encaps() const;
  std::set<std::string> get_l2_linux_encaps() const;
  std::string str() const;
};

// One front-panel port.
struct PortmapEntry {
  PortmapEntry(std::string dport, std::int64_t logical_port, std::optional<std::string> linux_port);

  std::string dport;
  std::int64_t logical_port;
  std::optional<std::string> linux_port;  // none when the port table cannot name the port
  std::int64_t port_vid = -1;

  void update_port_vid(std::int64_t vid) { port_vid = vid; }
  std::string str() const;
};

// One ASIC VLAN with its untagged member ports (SDK names).
struct VlanEntry {
  VlanEntry(std::int64_t vid, std::vector<std::string> untagged_dports);

  std::int64_t vid;
  std::vector<std::string> untagged_dports;

  std::string str() const;
};

// One VLAN translation of a port: internal VLAN ivid is evid on the wire.
struct VlanXlate {
  VlanXlate(std::int64_t lport, std::int64_t ivid, std::int64_t evid);

  std::int64_t lport;
  std::int64_t ivid;
  std::int64_t evid;

  std::string str() const;
};

template <>
struct is_record<Hmroute> : std::true_type {};
template <>
struct is_record<Encap> : std::true_type {};
template <>
struct is_record<ReplicationGroup> : std::true_type {};
template <>
struct is_record<PortmapEntry> : std::true_type {};
template <>
struct is_record<VlanEntry> : std::true_type {};
template <>
struct is_record<VlanXlate> : std::true_type {};

std::ostream& operator<<(std::ostream& os, const Hmroute& r);
std::ostream& operator<<(std::ostream& os, const Encap& e);
std::ostream& operator<<(std::ostream& os, const ReplicationGroup& g);
std::ostream& operator<<(std::ostream& os, const PortmapEntry& p);
std::ostream& operator<<(std::ostream& os, const VlanEntry& v);
std::ostream& operator<<(std::ostream& os, const VlanXlate& x);

}  // namespace grpaudit

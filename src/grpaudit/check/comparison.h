#pragma once
// Comparing a kernel multicast route with the ASIC's: the kernel side's
// interfaces are expanded into the replication identities the ASIC must
// produce for them, the IIF into the L3 IIF it must hold, and both are set
// against the hardware route, on which fixed mismatch messages are recorded.
//
// The part reads the kernel through the kernel part, ports and VLANs through
// the translation part and the RIOT mapping through a function it is given;
// it collects each expansion in the working set it is handed (the Asic's
// tmp_encaps).

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "grpaudit/check/audit_index.h"
#include "grpaudit/kern/kernel.h"
#include "grpaudit/platform/platform.h"
#include "grpaudit/records/hw_records.h"
#include "grpaudit/xlate/port_vlans.h"

namespace grpaudit::check {

// The kernel device kinds that the expansion understands.
inline constexpr std::array<std::string_view, 4> kDevsSupported{"bridge", "bond", "vlan", "swp"};

// What the kernel side of a compared route expands to.
struct MrouteExpectation {
  std::optional<std::int64_t> iif;  // the L3 IIF derived from the kernel IIF
  std::set<std::string> l3;         // routed replication identities
  std::set<std::string> l2;         // bridged replication identities
};
// The same as numbers of an audit's identities (AuditIndex::intern), each
// list in ascending order of number.
struct InternedExpectation {
  std::optional<std::int64_t> iif;
  std::vector<std::uint32_t> l3;
  std::vector<std::uint32_t> l2;
};
// Which rule decided a comparison.
enum class MrouteOutcome { kOriginated, kTerminated, kNotInHardware, kCompared };
struct MrouteComparison {
  MrouteOutcome outcome = MrouteOutcome::kCompared;
  bool equal = true;
  // Present only when the route was compared with the hardware (not
  // originated, not terminated, not missing from the hardware).
  std::optional<MrouteExpectation> expected;
  // In its place, with an audit's index and `expected_as_ids`.
  std::optional<InternedExpectation> expected_ids;
};

// What a comparison reads, and where it collects and decides.
struct Sides {
  kern::Kernel& kernel;
  xlate::PortVlans& port_vlans;
  const std::map<std::int64_t, ReplicationGroup>& replication_groups;
  // The working set of one expansion.
  std::set<std::string>& tmp_encaps;
  // Whether a bridge floods a group its multicast database does not list.
  const bool& flood_mdb_misses;
  // Originating devices, and the multicast termination device.
  const std::vector<std::string>& orig_dev;
  const std::string& term_dev;
  // The L3 IIF of a hardware VLAN (none for none).
  std::function<std::optional<std::int64_t>(std::int64_t)> hw_vlan_to_iif;
  // Handed to the checker of routes the switch originates.
  Asic& asic;
};

class Comparison {
 public:
  explicit Comparison(Sides sides) : s_(std::move(sides)) {}
  Comparison(const Comparison&) = delete;
  Comparison& operator=(const Comparison&) = delete;

  // The comparison of the route `key` of the kernel (IIF `iif`, OIL `oil`)
  // with `hw_route`, the hardware's route of that key (null when it has
  // none). Routes the switch originates or terminates are left to
  // `ul_mcast`. With `index` (an audit's), the lookups it holds are made
  // there.
  // With `index`, the expectation of a route found equal is made only when
  // `expected_when_equal`, and as the index's numbers when `expected_as_ids`;
  // and the working set holds only the expansions worked out afresh, the
  // index remembering the others.
  MrouteComparison compare(const std::string& key, const std::string& iif,
                           const std::vector<std::string>& oil, MrouteChecker& ul_mcast,
                           Hmroute* hw_route, const AuditIndex* index = nullptr,
                           bool expected_when_equal = true, bool expected_as_ids = false);

  // Adds to the working set the replication identities of kernel interface
  // `orig_dev` for group `grp`.
  void expand_kern_dev(const std::string& grp, const std::string& orig_dev,
                       std::int64_t parent_vlan, const AuditIndex* index = nullptr);
  std::vector<std::string> expand_bridge(std::int64_t vlan_filtering, const std::string& grp,
                                         const std::string& dev, std::int64_t vlan);
  std::vector<std::string> expand_vlan_aware_bridge(const std::string& grp_mac,
                                                    const std::string& dev, std::int64_t vlan);
  std::vector<std::string> expand_vlan_unaware_bridge(const std::string& grp_mac,
                                                      const std::string& dev);
  // Whether the kernel's bridge VLAN table lists `member` among the untagged
  // ports of `vlan` (building the table on first use).
  bool is_untagged_vlan_member(std::int64_t vlan, const std::string& member);

  // The port and VLAN lookups it asks, for a caller that runs many
  // comparisons to open their index scope.
  xlate::PortVlans& port_vlans() { return s_.port_vlans; }

 private:
  // The expansion of an interface already resolved to its kind, base device
  // and VLAN.
  void expand_base_dev(const std::string& grp, const std::string& kind, const std::string& dev,
                       std::int64_t vlan, const AuditIndex* index);
  // The group MAC of `grp`, formed once for the run of interfaces of one
  // route: they all ask it for the same group. A group that is not an
  // address throws every time.
  const std::string& group_mac_of(const std::string& grp);
  // The kernel's VLAN cache entry of `vid`, the cache read first.
  const KernVlanEntry* kern_vlan_entry(std::int64_t vid, const AuditIndex* index);

  // The comparison within an audit: identities as the index's numbers, each
  // interface's expansion remembered where its answer cannot change.
  MrouteComparison compare_interned(const std::string& iif, const std::vector<std::string>& oil,
                                    Hmroute& hmroute, const std::string& group,
                                    const AuditIndex& index, bool expected_when_equal,
                                    bool expected_as_ids);
  // The expansion of interface `dev`, incoming or outgoing, for `group`.
  const AuditIndex::Expansion& expansion(const std::string& dev, bool incoming,
                                         const std::string& group, const AuditIndex& index);

  Sides s_;
  // Kept from route to route: the group MAC of the group last expanded
  // (the interfaces of one route all ask it for the same group), and the
  // hardware's identities of one route.
  bool mac_valid_ = false;
  std::string mac_grp_;
  std::string mac_;
  std::vector<std::string> hw_l3_;
  std::vector<std::string> hw_l2_;
  // Within an audit: the key of an expansion, one that is not remembered,
  // and the routed identities of a route.
  std::string key_;
  AuditIndex::Expansion unkept_;
  AuditIndex::Ids l3_;
  AuditIndex::Ids merged_;
};

}  // namespace grpaudit::check

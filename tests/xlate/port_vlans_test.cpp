// The port and VLAN lookups answer from indexes while an index scope is
// open (the group listing, an audit) and from the tables otherwise; these
// tests hold both against plain scans in table order, which is what the
// lookups mean.

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>

#include "grpaudit/asic/asic.h"
#include "grpaudit/platform/snapshot.h"
#include "switch_gen.h"

namespace grpaudit {
namespace {

using LPort = std::pair<std::int64_t, std::int64_t>;

std::int64_t scan_dport(const Asic& a, const std::string& dport) {
  for (const auto& e : a.portmap) {
    if (e.dport == dport) return e.logical_port;
  }
  return -1;
}

LPort scan_linux_port(const Asic& a, const std::string& name) {
  for (const auto& e : a.portmap) {
    if (e.linux_port == name) return {e.logical_port, e.port_vid};
  }
  return {-1, -1};
}

std::int64_t scan_evid2ivid(const Asic& a, std::int64_t lport, std::int64_t evid) {
  for (const auto& x : a.vlan_xlate) {
    if (x.lport == lport && x.evid == evid) return x.ivid;
  }
  return -1;
}

std::int64_t scan_ivid2evid(Asic& a, const std::string& dport, std::int64_t ivid) {
  const std::int64_t lport = scan_dport(a, dport);
  if (lport == -1) return ivid;
  for (const auto& x : a.vlan_xlate) {
    if (x.lport == lport && x.ivid == ivid) return x.evid;
  }
  return a._is_port_untagged_for_vid(dport, ivid) ? -1 : ivid;
}

// The lookups of the Asic, or of a translation part over its tables.
struct AsicLookups {
  Asic& a;
  std::int64_t dport2logical_port(const std::string& d) { return a._dport2logical_port(d); }
  LPort logical_port_and_pvid(const std::string& n) { return a._get_logical_port_and_pvid(n); }
  std::int64_t evid2ivid(std::int64_t l, std::int64_t v) { return a._evid2ivid(l, v); }
  std::int64_t ivid2evid(const std::string& d, std::int64_t v) { return a._ivid2evid(d, v); }
};
struct PartLookups {
  xlate::PortVlans& p;
  std::int64_t dport2logical_port(const std::string& d) { return p.dport2logical_port(d); }
  LPort logical_port_and_pvid(const std::string& n) { return p.get_logical_port_and_pvid(n); }
  std::int64_t evid2ivid(std::int64_t l, std::int64_t v) { return p.evid2ivid(l, v); }
  std::int64_t ivid2evid(const std::string& d, std::int64_t v) { return p.ivid2evid(d, v); }
};

// Every lookup, for every name and VLAN the tables hold and for some they do not.
template <typename Lookups>
void expect_lookups_match_scans(Lookups l, Asic& a) {
  std::set<std::string> dports{"xe9999", "cpu0", ""};
  std::set<std::string> names{"swp9999", "None", ""};
  for (const auto& e : a.portmap) {
    dports.insert(e.dport);
    if (e.linux_port) names.insert(*e.linux_port);
  }
  for (const auto& d : dports) EXPECT_EQ(l.dport2logical_port(d), scan_dport(a, d)) << d;
  for (const auto& n : names) EXPECT_EQ(l.logical_port_and_pvid(n), scan_linux_port(a, n)) << n;

  std::set<LPort> pairs{{-1, -1}, {0, 0}};
  for (const auto& x : a.vlan_xlate) {
    for (const std::int64_t d : {-1, 0, 1}) {
      pairs.insert({x.lport, x.evid + d});
      pairs.insert({x.lport + d, x.ivid});
    }
  }
  for (const auto& [lport, vid] : pairs) {
    EXPECT_EQ(l.evid2ivid(lport, vid), scan_evid2ivid(a, lport, vid)) << lport << " " << vid;
  }
  // Translated VLANs only: the others would ask the SDK shell about VLANs
  // the generated switch does not list.
  for (const auto& d : dports) {
    const std::int64_t lport = scan_dport(a, d);
    for (const auto& x : a.vlan_xlate) {
      if (x.lport != lport) continue;
      EXPECT_EQ(l.ivid2evid(d, x.ivid), scan_ivid2evid(a, d, x.ivid)) << d << " " << x.ivid;
    }
  }
}

void expect_lookups_match_scans(Asic& a) {
  expect_lookups_match_scans(AsicLookups{a}, a);
  for (const auto& n : a.linux_ports) EXPECT_EQ(a._kern_dev_kind_parse(n), "swp") << n;
  // The same tables through a part of their own, with its indexes made.
  xlate::PortVlans part(xlate::Tables{a.portmap, a.vlan_xlate, a.vlans, a.vlans_without_entry},
                        [&a](std::int64_t vid) { a._parse_vlan(vid); });
  const xlate::PortVlans::Indexed indexed(part);
  expect_lookups_match_scans(PartLookups{part}, a);
}

TEST(PortVlanLookups, AnswerAsScansOnAGeneratedSwitchAndAfterItsTablesChange) {
  // The tables as each of a few layouts of the listings reads.
  for (const std::uint64_t layout : {7, 9}) {
    const auto gen = switchgen::generate({.seed = 5, .scale = 0.02, .layout = layout});
    Asic other(
        platform::make_replay_platform(std::make_shared<const platform::Snapshot>(gen.snapshot)));
    expect_lookups_match_scans(other);
  }
  const auto gen = switchgen::generate({.seed = 5, .scale = 0.02});
  Asic asic(
      platform::make_replay_platform(std::make_shared<const platform::Snapshot>(gen.snapshot)));
  ASSERT_GT(asic.portmap.size(), 16u);
  ASSERT_GT(asic.vlan_xlate.size(), 16u);
  expect_lookups_match_scans(asic);

  // Tables replaced after the indexes were built, with names and VLANs given
  // twice: the first entry wins, and an update reaches every entry of a name.
  asic.portmap = {PortmapEntry("xe1", 7, "swp2"), PortmapEntry("xe0", 1, "swp1"),
                  PortmapEntry("xe1", 9, "swp9"), PortmapEntry("xe5", 6, std::nullopt),
                  PortmapEntry("xe6", 8, "swp2")};
  asic.vlan_xlate = {VlanXlate(7, 10, 100), VlanXlate(7, 10, 101), VlanXlate(7, 11, 100),
                     VlanXlate(1, -1, 7), VlanXlate(1, 20, 7)};
  asic.linux_ports = {"swp2"};
  asic._update_portmap_port_vid("xe1", 200);
  EXPECT_EQ(asic.portmap[0].port_vid, 200);
  EXPECT_EQ(asic.portmap[2].port_vid, 200);
  EXPECT_EQ(asic.portmap[1].port_vid, -1);
  EXPECT_EQ(asic._get_logical_port_and_pvid("swp2"), LPort(7, 200));
  EXPECT_EQ(asic._evid2ivid(7, 100), 10);
  EXPECT_EQ(asic._evid2ivid(1, 7), -1);
  expect_lookups_match_scans(asic);

  // The same table grown in place.
  asic.portmap.emplace_back("xe7", 3, "swp7");
  asic.vlan_xlate.emplace_back(3, 30, 300);
  EXPECT_EQ(asic._dport2logical_port("xe7"), 3);
  EXPECT_EQ(asic._get_logical_port_and_pvid("swp7"), LPort(3, -1));
  EXPECT_EQ(asic._evid2ivid(3, 300), 30);
  expect_lookups_match_scans(asic);
}

}  // namespace
}  // namespace grpaudit

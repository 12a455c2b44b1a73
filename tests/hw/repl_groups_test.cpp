#include "grpaudit/hw/repl_groups.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "grpaudit/asic/asic.h"
#include "support/fake_switch.h"

namespace grpaudit::hw {
namespace {

struct Recorder {
  std::map<std::int64_t, std::int64_t> nhi{{103, 7}};
  std::map<std::int64_t, std::int64_t> intfs{{5, 100}, {7, 200}};
  std::vector<std::string> calls;  // ivid2evid and bcm2linux, in order

  ReplGroupContext ctx(bool riot) {
    return {riot, nhi, intfs,
            [this](const std::string& p) {
              calls.push_back("linux " + p);
              if (p == "xe9") throw std::out_of_range("unknown SDK port xe9");
              return "swp-" + p;
            },
            [this](const std::string& p, std::int64_t v) {
              calls.push_back("evid " + p + " " + std::to_string(v));
              return v == 100 ? std::int64_t{-1} : v;
            }};
  }
};

std::string fields(const Encap& e) {
  return e.linux_port + "/" + e.bcm_dport + "/" + std::to_string(e.intf) + "/" +
         std::to_string(e.vlan) + "/" + std::to_string(e.evid);
}

std::vector<std::string> all_fields(const std::vector<Encap>& v) {
  std::vector<std::string> out;
  for (const auto& e : v) out.push_back(fields(e));
  return out;
}

using Strings = std::vector<std::string>;

TEST(MulticastShow, GroupsWithTheirRoutedAndBridgedEntries) {
  Recorder r;
  std::map<std::int64_t, ReplicationGroup> groups;
  parse_multicast_show(
      "banner before the first group\n"
      "Group 0x2000001 (IPMC)\n"
      "\tport xe1, encap id 5\n"
      "  port xe2, encap id 103 extra\n"  // not a next hop with RIOT off
      "\tport xe0, encap id -1\n"
      "port xe3, encap id -1\n"  // not indented: skipped
      "\tport cpu0, encap id -1\n"
      "\tport cpu0, encap id 5\n"
      "\tport xe4, encap id +6\r\n"  // no L3 interface: VLAN -1
      "Group 0x1000001 (L2)\n\tport xe5, encap id -1\n"
      "Group 2000002\n"
      "GroupGroup 0x2000001\n\tport xe6, encap id -1\n",  // later id wins
      r.ctx(false), groups);
  ASSERT_EQ(groups.size(), 2u);
  const ReplicationGroup& g1 = groups.at(0x2000001);
  EXPECT_EQ(all_fields(g1.l2_encaps), Strings{"swp-xe6/xe6/-1/-1/-1"});
  EXPECT_TRUE(g1.l3_encaps.empty());
  const ReplicationGroup& g2 = groups.at(0x2000002);
  EXPECT_EQ(g2.mcast_grp, 0x2000002);
  EXPECT_TRUE(g2.l2_encaps.empty() && g2.l3_encaps.empty());

  groups.clear();
  r.calls.clear();
  parse_one_repl_group(
      " 0x2000001 (IPMC)\n\tport xe1, encap id 5\n  port xe2, encap id 103 extra\n"
      "\tport xe0, encap id -1\n\tport xe4, encap id +6\n",
      r.ctx(false), groups);
  EXPECT_EQ(all_fields(groups.at(0x2000001).l3_encaps),
            (Strings{"swp-xe1/xe1/5/100/-1", "swp-xe2/xe2/103/-1/-1", "swp-xe4/xe4/6/-1/-1"}));
  EXPECT_EQ(all_fields(groups.at(0x2000001).l2_encaps), Strings{"swp-xe0/xe0/-1/-1/-1"});
  EXPECT_EQ(r.calls, (Strings{"evid xe1 100", "linux xe1", "evid xe2 -1", "linux xe2", "linux xe0",
                              "evid xe4 -1", "linux xe4"}));
}

TEST(MulticastShow, WithRiotTheEncapIdIsANextHopWhereOneIsKnown) {
  // The whole listing and a single piece read the interface tables alike.
  for (const bool whole : {true, false}) {
    SCOPED_TRACE(whole);
    Recorder r;
    std::map<std::int64_t, ReplicationGroup> groups;
    const std::string piece = " 1f\n\tport xe1, encap id 103\n\tport xe2, encap id 5\n";
    if (whole) {
      parse_multicast_show("Group" + piece, r.ctx(true), groups);
    } else {
      parse_one_repl_group(piece, r.ctx(true), groups);
    }
    EXPECT_EQ(all_fields(groups.at(31).l3_encaps),
              (Strings{"swp-xe1/xe1/7/200/200", "swp-xe2/xe2/5/100/-1"}));
  }
}

// A listing names each port in many lines: its Linux name is asked once,
// the VLAN of each routed copy every time, in the order of the lines. A
// name that could not be had is asked again by the next listing.
TEST(MulticastShow, PortNamesAskedOncePerListing) {
  Recorder r;
  std::map<std::int64_t, ReplicationGroup> groups;
  parse_multicast_show(
      "Group 1\n\tport xe1, encap id 5\n\tport xe1, encap id -1\n"
      "Group 2\n\tport xe1, encap id 7\n\tport xe2, encap id 5\n",
      r.ctx(false), groups);
  EXPECT_EQ(r.calls,
            (Strings{"evid xe1 100", "linux xe1", "evid xe1 200", "evid xe2 100", "linux xe2"}));
  EXPECT_EQ(all_fields(groups.at(2).l3_encaps),
            (Strings{"swp-xe1/xe1/7/200/200", "swp-xe2/xe2/5/100/-1"}));
  EXPECT_EQ(all_fields(groups.at(1).l2_encaps), Strings{"swp-xe1/xe1/-1/-1/-1"});

  r.calls.clear();
  EXPECT_THROW(parse_multicast_show("Group 3\n\tport xe9, encap id 5\n", r.ctx(false), groups),
               std::out_of_range);
  EXPECT_THROW(parse_multicast_show("Group 3\n\tport xe9, encap id 5\n", r.ctx(false), groups),
               std::out_of_range);
  // The VLAN is asked before the name, as ever, also when the name fails.
  EXPECT_EQ(r.calls, (Strings{"evid xe9 100", "linux xe9", "evid xe9 100", "linux xe9"}));
}

TEST(MulticastShow, BadHeadersAndPortTableErrorsFail) {
  Recorder r;
  std::map<std::int64_t, ReplicationGroup> groups;
  EXPECT_THROW(parse_multicast_show("Group \n\tport xe1, encap id -1\n", r.ctx(false), groups),
               std::out_of_range);
  EXPECT_THROW(parse_multicast_show("Group s 1\n", r.ctx(false), groups), std::invalid_argument);
  EXPECT_THROW(parse_multicast_show("Group 1\n\tport xe9, encap id -1\n", r.ctx(false), groups),
               std::out_of_range);
  EXPECT_TRUE(groups.empty());
  // An empty piece (text ending in "Group") stores nothing.
  parse_multicast_show("Group", r.ctx(false), groups);
  EXPECT_TRUE(groups.empty());
}

TEST(ReplGroupEntry, IdsMatchIgnoringTheirFirstCharacter) {
  std::map<std::int64_t, ReplicationGroup> groups;
  groups.emplace(
      31, ReplicationGroup(31, {Encap("swp1", "xe0", 305, -1, -1)},
                           {Encap("swp1", "xe0", 205, 1, 1), Encap("swp2", "xe1", 4, 1, 1)}));
  const struct {
    std::string group, intf;
    bool found;
  } cases[] = {
      {"1f", "105", true},  {"0x1f", "205", true}, {"1f", "9", true},  // single digits
      {"1f", "305", true},  // 205's tail, not the L2 entry
      {"1f", "206", false}, {"1e", "205", false},  {"1f", "", true},  // the empty tail of 4
  };
  for (const auto& c : cases) {
    EXPECT_EQ(repl_group_has_l3_intf(groups, c.group, c.intf), c.found) << c.group << c.intf;
  }
  EXPECT_THROW(repl_group_has_l3_intf(groups, "xyz", "1"), std::invalid_argument);
}

TEST(ReplGroupEntryAsic, ReturnsTheArgumentOrNone) {
  testing::FakeSwitch sw;
  sw.port("xe0", "swp1");
  sw.sdk("l3 intf show", testing::l3_intf_listing({"0 205 0 0 100"}));
  sw.sdk("vlan show 100", "vlan 100 untagged xe0\n");
  sw.sdk("ports xe0", "h1\nh2\nxe0(1)\n");
  sw.sdk("multicast show", "Group 0x1f\n\tport xe0, encap id 205\n");
  Asic asic(sw.platform());
  EXPECT_EQ(asic.replication_groups.at(31).str(), "  port: swp1\n");
  EXPECT_EQ(asic.get_repl_group_entry("1f", "105"), std::optional<std::string>("105"));
  EXPECT_EQ(asic.get_repl_group_entry("1f", std::int64_t{305}), std::optional<std::int64_t>(305));
  EXPECT_EQ(asic.get_repl_group_entry("20", std::int64_t{205}), std::nullopt);
  EXPECT_EQ(asic.get_repl_group_entry("1f", "16"), std::nullopt);
}

}  // namespace
}  // namespace grpaudit::hw

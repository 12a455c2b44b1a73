#include "grpaudit/hw/repl_groups.h"

#include <gtest/gtest.h>

#include <limits>
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

// The whole listing reads the interface tables through flat copies, a piece
// through the maps themselves: both find the same interfaces and VLANs,
// whatever the tables' ids look like.
TEST(MulticastShow, InterfaceTablesOfEveryShapeReadAlike) {
  using Table = std::map<std::int64_t, std::int64_t>;
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  const struct {
    const char* what;
    Table nhi, intfs;
  } cases[] = {
      {"empty", {}, {}},
      {"dense", {{100, 7}, {101, 8}, {103, 9}}, {{7, 70}, {8, 80}, {9, -1}, {10, 100}}},
      {"sparse", {{5, 1000000}, {900000, 5}}, {{5, 50}, {1000000, 60}, {-3, 30}}},
      {"negative and extreme ids", {{kMin, 1}, {-1, 2}, {kMax, 3}}, {{kMin, 4}, {kMax, 5}, {1, 6}}},
      {"one id", {{kMax, kMin}}, {{kMin, kMax}}},
      // Close enough together for one table of both, with an id in both maps
      // (a next hop only with RIOT on) and next hops to interfaces without a VLAN.
      {"dense, both tables",
       {{3, 7}, {4, 9}, {7, 8}, {11, 5}},
       {{5, 100}, {7, 200}, {8, 300}, {10, 400}}},
      {"next hops only", {{3, 4}, {4, 3}}, {}},
      {"interfaces only", {}, {{-2, 10}, {0, 20}, {2, -1}}},
      {"at the ends", {{kMax, kMin}, {kMax - 1, 5}}, {{kMin, 1}, {5, kMax}}},
  };
  const std::vector<std::string> encap_ids = {
      "0",
      "1",
      "2",
      "3",
      "4",
      "5",
      "6",
      "7",
      "8",
      "9",
      "10",
      "99",
      "100",
      "101",
      "102",
      "103",
      "104",
      "-3",
      "-2",
      "900000",
      "1000000",
      "999999",
      "900001",
      "-9223372036854775808",
      "9223372036854775807",
      "-9223372036854775807",
      "11",
      "12",
      "110",
      "1000001",
      "9223372036854775806",
  };
  std::string piece = " 0x2000001\n";
  for (const auto& id : encap_ids) piece += "\tport xe1, encap id " + id + "\n";
  for (const auto& c : cases) {
    for (const bool riot : {false, true}) {
      SCOPED_TRACE(std::string(c.what) + (riot ? " riot" : ""));
      Recorder r;
      r.nhi = c.nhi;
      r.intfs = c.intfs;
      std::map<std::int64_t, ReplicationGroup> whole, one;
      parse_multicast_show("Group" + piece, r.ctx(riot), whole);
      parse_one_repl_group(piece, r.ctx(riot), one);
      ASSERT_EQ(whole.size(), 1u);
      ASSERT_EQ(one.size(), 1u);
      const auto& got = whole.begin()->second;
      EXPECT_EQ(all_fields(got.l3_encaps), all_fields(one.begin()->second.l3_encaps));
      EXPECT_EQ(all_fields(got.l2_encaps), all_fields(one.begin()->second.l2_encaps));
      // And what the maps say, looked up here directly.
      ASSERT_EQ(got.l3_encaps.size(), encap_ids.size());
      for (std::size_t i = 0; i < got.l3_encaps.size(); ++i) {
        const std::int64_t id = std::stoll(encap_ids[i]);
        std::int64_t intf = id;
        if (riot && c.nhi.contains(id)) intf = c.nhi.at(id);
        const std::int64_t vlan = c.intfs.contains(intf) ? c.intfs.at(intf) : -1;
        EXPECT_EQ(got.l3_encaps[i].intf, intf) << encap_ids[i];
        EXPECT_EQ(got.l3_encaps[i].vlan, vlan) << encap_ids[i];
      }
    }
  }
}

// Hundreds of ports: each port's Linux name is asked once in a listing, in
// the order the ports first appear, and every member gets its own port's.
TEST(MulticastShow, ManyPortsEachNamedOnce) {
  Recorder r;
  std::string text;
  Strings want_calls;
  for (int g = 0; g < 3; ++g) {
    text += "Group " + std::to_string(g + 1) + "\n";
    for (int p = 0; p < 700; ++p) {
      const std::string port = "ge" + std::to_string((p * 3 + g) % 700);
      text += "\tport " + port + ", encap id -1\n";
      if (g == 0) want_calls.push_back("linux " + port);
    }
  }
  std::map<std::int64_t, ReplicationGroup> groups;
  parse_multicast_show(text, r.ctx(false), groups);
  ASSERT_EQ(groups.size(), 3u);
  for (const auto& [id, g] : groups) {
    ASSERT_EQ(g.l2_encaps.size(), 700u);
    for (const Encap& e : g.l2_encaps) EXPECT_EQ(e.linux_port, "swp-" + e.bcm_dport);
  }
  EXPECT_EQ(r.calls, want_calls);
}

// Groups listed out of order, repeated, or already in the map end up as
// insert_or_assign in the order read would leave them.
TEST(MulticastShow, GroupsInAnyOrderReplaceAsRead) {
  Recorder r;
  std::map<std::int64_t, ReplicationGroup> groups;
  groups.emplace(5, ReplicationGroup(5, {Encap("old", "old", -1, -1, -1)}, {}));
  groups.emplace(9, ReplicationGroup(9, {Encap("old", "old", -1, -1, -1)}, {}));
  parse_multicast_show(
      "Group 8\n\tport xe8, encap id -1\n"
      "Group 5\n\tport xe5, encap id -1\n"
      "Group 3\n\tport xe3, encap id -1\n"
      "Group 8\n\tport xe10, encap id -1\n"
      "Group 0x10\n\tport xe16, encap id -1\n",
      r.ctx(false), groups);
  Strings got;
  for (const auto& [id, g] : groups) {
    got.push_back(std::to_string(id) + " " + std::to_string(g.mcast_grp) + " " +
                  g.l2_encaps.at(0).bcm_dport);
  }
  EXPECT_EQ(got, (Strings{"3 3 xe3", "5 5 xe5", "8 8 xe10", "9 9 old", "16 16 xe16"}));
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

// A switch's group listing read whole, and its pieces read one by one on
// the same switch with an empty listing: the two ways groups are read.
struct ReadBothWays {
  ReadBothWays(testing::FakeSwitch& sw, const std::string& listing,
               const std::vector<std::string>& pieces)
      : whole_trace((sw.sdk("multicast show", listing), sw)),
        whole(whole_trace.platform()),
        alone_trace((sw.sdk("multicast show", ""), sw)),
        alone(alone_trace.platform()) {
    for (const auto& piece : pieces) alone._parse_one_multicast_repln_group(piece.substr(5));
  }
  testing::TracedSwitch whole_trace;
  Asic whole;
  testing::TracedSwitch alone_trace;
  Asic alone;
};

// The VLAN commands of a trace, with the port listings they ask or without.
Strings vlan_commands(const std::vector<std::string>& lines, bool with_ports) {
  Strings out;
  for (const auto& line : lines) {
    if (line.find("\"vlan show") != std::string::npos ||
        (with_ports && line.find("\"ports") != std::string::npos))
      out.push_back(line);
  }
  return out;
}

TEST(ReplGroupsAsic, AListingAsksAboutVlansAsGroupsReadAloneDo) {
  // While the whole listing is read, the VLANs are found through an index
  // by VID; a group read alone searches the tables. Both must give the same
  // copies and run the same commands, in the same order. VLAN 20 has no
  // untagged port (its reading stores nothing); the answer for VLAN 30 is
  // VLAN 31's, so 30 is asked again each time and 31 never; 70000 lies
  // beyond the index.
  testing::FakeSwitch sw;
  sw.port("xe0", "swp1").port("xe1", "swp2");
  sw.sdk("show portmap", testing::portmap_listing({"xe0 0 1 1", "xe1 0 2 2"}));
  sw.sdk("l3 intf show", testing::l3_intf_listing({"0 201 0 0 10", "0 202 0 0 20", "0 203 0 0 30",
                                                   "0 204 0 0 31", "0 205 0 0 70000"}));
  sw.sdk("vlan show 10", "vlan 10 untagged xe0\n").sdk("ports xe0", "h1\nh2\nxe0(1)\n");
  sw.sdk("vlan show 20", "vlan 20 tagged xe0\n");
  sw.sdk("vlan show 30", "vlan 31 untagged xe1\n").sdk("ports xe1", "h1\nh2\nxe1(2)\n");
  sw.sdk("vlan show 70000", "vlan 70000 untagged xe1\n");
  const std::vector<std::string> pieces = {
      "Group 0x1\n\tport xe0, encap id 201\n\tport xe1, encap id 201\n\tport xe0, encap id 202\n",
      "Group 0x2\n\tport xe1, encap id 202\n\tport xe0, encap id 203\n\tport xe1, encap id 204\n",
      "Group 0x3\n\tport xe0, encap id 203\n\tport xe1, encap id 205\n\tport xe0, encap id 205\n",
  };
  const auto copies = [](const Asic& asic) {
    Strings out;
    for (const auto& [id, g] : asic.replication_groups) {
      for (const auto& e : g.l3_encaps)
        out.push_back(std::to_string(id) + " " + e.bcm_dport + " " + std::to_string(e.evid));
    }
    return out;
  };

  const ReadBothWays read(sw, pieces[0] + pieces[1] + pieces[2], pieces);
  EXPECT_EQ(copies(read.whole), copies(read.alone));
  EXPECT_EQ(copies(read.whole), (Strings{"1 xe0 -1", "1 xe1 10", "1 xe0 20", "2 xe1 20", "2 xe0 30",
                                         "2 xe1 -1", "3 xe0 30", "3 xe1 -1", "3 xe0 70000"}));
  EXPECT_EQ(vlan_commands(read.whole_trace.lines(), true),
            vlan_commands(read.alone_trace.lines(), true));
  EXPECT_EQ(
      vlan_commands(read.whole_trace.lines(), true),
      (Strings{R"({"sdk":"vlan show 10"})", R"({"sdk":"ports xe0"})", R"({"sdk":"vlan show 20"})",
               R"({"sdk":"vlan show 30"})", R"({"sdk":"ports xe1"})", R"({"sdk":"vlan show 30"})",
               R"({"sdk":"ports xe1"})", R"({"sdk":"vlan show 70000"})",
               R"({"sdk":"ports xe1"})"}));
}

TEST(ReplGroupsAsic, VlansReadInAnyOrderDuringAListingAreStoredAsReadAlone) {
  // VLANs asked for in no order, up and down, close together and far apart
  // (beyond the reach of a neighbour in the index), some naming another VLAN
  // in their answer: the listing stores the same VLANs as groups read one
  // by one, with the same ports, and asks the same commands.
  testing::FakeSwitch sw;
  sw.port("xe0", "swp1").port("xe1", "swp2");
  sw.sdk("show portmap", testing::portmap_listing({"xe0 0 1 1", "xe1 0 2 2"}));
  sw.sdk("ports xe0", "h1\nh2\nxe0(1)\n").sdk("ports xe1", "h1\nh2\nxe1(2)\n");
  std::vector<std::int64_t> vids;
  for (std::int64_t v = 1; v <= 120; ++v) vids.push_back(v);
  for (std::int64_t v = 200; v <= 4000; v += 97) vids.push_back(v);
  vids.push_back(65535);
  vids.push_back(65536);
  std::vector<std::string> intfs;
  std::string listing;
  for (std::size_t i = 0; i < vids.size(); ++i) {
    const std::int64_t v = vids[i];
    intfs.push_back("0 " + std::to_string(1000 + i) + " 0 0 " + std::to_string(v));
    // Every seventh answer names the VLAN below it, which is then stored too.
    const std::int64_t named = i % 7 == 3 ? v - 1 : v;
    sw.sdk("vlan show " + std::to_string(v),
           "vlan " + std::to_string(named) + " untagged " + (v % 2 == 0 ? "xe0" : "xe1") + "\n");
  }
  sw.sdk("l3 intf show", testing::l3_intf_listing(intfs));
  // The order the copies ask in: a fixed shuffle, then a run down and one up.
  std::vector<std::size_t> order(vids.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = (i * 37 + 11) % order.size();
  for (std::size_t i = vids.size(); i-- > 0;) order.push_back(i);
  for (std::size_t i = 0; i < vids.size(); ++i) order.push_back(i);
  std::vector<std::string> pieces;
  for (std::size_t g = 0; g * 8 < order.size(); ++g) {
    std::string piece = "Group 0x" + std::to_string(g + 1) + "\n";
    for (std::size_t j = g * 8; j < std::min(order.size(), g * 8 + 8); ++j) {
      piece += std::string("\tport ") + (j % 2 == 0 ? "xe0" : "xe1") + ", encap id " +
               std::to_string(1000 + order[j]) + "\n";
    }
    pieces.push_back(piece);
    listing += piece;
  }
  const auto stored = [](const Asic& asic) {
    Strings out;
    for (const auto& [vid, entry] : asic.vlans) {
      std::string line = std::to_string(vid) + " " + std::to_string(entry.vid);
      for (const auto& port : entry.untagged_dports) line += " " + port;
      out.push_back(line);
    }
    return out;
  };

  const ReadBothWays read(sw, listing, pieces);
  EXPECT_EQ(stored(read.whole), stored(read.alone));
  EXPECT_EQ(read.whole.vlans.size(), read.alone.vlans.size());
  EXPECT_EQ(read.whole.vlans.size(), 145u);  // some answers name a VLAN asked for already
  EXPECT_EQ(vlan_commands(read.whole_trace.lines(), false),
            vlan_commands(read.alone_trace.lines(), false));
  EXPECT_FALSE(vlan_commands(read.whole_trace.lines(), false).empty());
}

}  // namespace
}  // namespace grpaudit::hw

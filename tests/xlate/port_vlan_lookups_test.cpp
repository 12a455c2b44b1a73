#include <gtest/gtest.h>

#include <stdexcept>

#include "grpaudit/asic/asic.h"
#include "support/fake_switch.h"

namespace grpaudit {
namespace {

using testing::FakeSwitch;
using testing::TracedSwitch;

using LPort = std::pair<std::int64_t, std::int64_t>;

const std::string kPortsHeader = "        ena/ speed/\n   port link duplex\n";

// An Asic over `sw` with a fixed port map and translation table.
void set_tables(Asic& asic) {
  asic.portmap = {PortmapEntry("xe0", 1, "swp1"), PortmapEntry("xe1", 2, "swp2"),
                  PortmapEntry("xe1", 9, "swp9"), PortmapEntry("xe5", 6, std::nullopt)};
  asic.vlan_xlate = {VlanXlate(2, 10, 100), VlanXlate(2, 10, 101), VlanXlate(1, 20, 200),
                     VlanXlate(1, -1, 7)};
}

FakeSwitch switch_with_vlan10() {
  FakeSwitch sw;
  sw.sdk("vlan show 10", "vlan 10\tports xe0-xe1 (0x6), untagged xe0-xe1 (0x6)\n");
  sw.sdk("ports xe0-xe1", kPortsHeader + "  xe0(  1) up\n  xe1(  2) up\n");
  sw.sdk("vlan show 20", "vlan 20\tports xe0 (0x2)\n");  // no untagged port
  sw.sdk("vlan show 30", "vlan 30\tports xe0 (0x2), untagged xe0 (0x2)\n");
  sw.sdk("ports xe0", kPortsHeader);  // header only
  return sw;
}

TEST(PortLookups, FirstEntryWinsAndUpdatesReachEveryEntryOfTheName) {
  Asic asic(FakeSwitch().platform());
  set_tables(asic);
  asic._update_portmap_port_vid("xe1", 200);
  asic._update_portmap_port_vid("xe7", 300);
  EXPECT_EQ(asic.portmap[1].port_vid, 200);
  EXPECT_EQ(asic.portmap[2].port_vid, 200);
  EXPECT_EQ(asic.portmap[0].port_vid, -1);

  EXPECT_EQ(asic._dport2logical_port("xe1"), 2);
  EXPECT_EQ(asic._dport2logical_port("xe7"), -1);
  EXPECT_EQ(asic._get_logical_port_and_pvid("swp2"), LPort(2, 200));
  EXPECT_EQ(asic._get_logical_port_and_pvid("swp1"), LPort(1, -1));
  EXPECT_EQ(asic._get_logical_port_and_pvid("swp7"), LPort(-1, -1));
  EXPECT_EQ(asic._get_logical_port_and_pvid("None"), LPort(-1, -1));

  EXPECT_EQ(asic._evid2ivid(2, 101), 10);
  EXPECT_EQ(asic._evid2ivid(2, 10), -1);  // no fallback to the argument
  EXPECT_EQ(asic._evid2ivid(3, 100), -1);
}

TEST(Ivid2Evid, TranslationThenUntaggedMembershipThenTheInternalVlan) {
  Asic asic(switch_with_vlan10().platform());
  set_tables(asic);
  const struct {
    std::string dport;
    std::int64_t ivid, evid;
  } cases[] = {
      {"xe1", 10, 100},  // first translation, although untagged in VLAN 10
      {"xe0", 10, -1},   // untagged member
      {"xe0", 20, 200},  // translation, no VLAN read
      {"xe1", 20, 20},   // tagged: the internal VLAN on the wire
      {"xe9", 10, 10},   // not in the port map: returned as it is
      {"xe9", 30, 30},   // ... even where the port would be untagged
      {"xe0", -1, 7},    // a translation without new_vid
  };
  for (const auto& c : cases) EXPECT_EQ(asic._ivid2evid(c.dport, c.ivid), c.evid) << c.dport;
  EXPECT_EQ(asic.vlans.size(), 1u);
  EXPECT_TRUE(asic.vlans.contains(10));
}

TEST(Ivid2Evid, AnUnknownVlanAsksTheShellAboutVlanMinusOne) {
  FakeSwitch sw;
  sw.sdk("vlan show -1", "Error: Invalid VLAN -1\n");
  const TracedSwitch traced{sw};
  Asic asic(traced.platform());
  set_tables(asic);
  const std::size_t before = traced.lines().size();
  EXPECT_EQ(asic._ivid2evid("xe1", -1), -1);
  EXPECT_EQ(traced.lines().size(), before + 1);
  EXPECT_EQ(traced.lines().back(), R"({"sdk":"vlan show -1"})");
}

TEST(UntaggedVlanCache, EachVlanIsReadOnceWhetherOrNotItStoredAnEntry) {
  const TracedSwitch traced{switch_with_vlan10()};
  Asic asic(traced.platform());
  const std::size_t before = traced.lines().size();

  EXPECT_TRUE(asic._is_port_untagged_for_vid("xe1", 10));
  EXPECT_FALSE(asic._is_port_untagged_for_vid("xe2", 10));
  EXPECT_FALSE(asic._is_port_untagged_for_vid("xe0", 20));  // no untagged word
  EXPECT_FALSE(asic._is_port_untagged_for_vid("xe0", 30));  // header-only port listing
  const auto after_first = traced.lines();
  EXPECT_EQ(
      std::vector<std::string>(after_first.begin() + static_cast<long>(before), after_first.end()),
      (std::vector<std::string>{
          R"({"sdk":"vlan show 10"})",
          R"({"sdk":"ports xe0-xe1"})",
          R"({"sdk":"vlan show 20"})",
          R"({"sdk":"vlan show 30"})",
          R"({"sdk":"ports xe0"})",
      }));

  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(asic._is_port_untagged_for_vid("xe0", 10));
    EXPECT_FALSE(asic._is_port_untagged_for_vid("xe0", 20));
    EXPECT_FALSE(asic._is_port_untagged_for_vid("xe0", 30));
  }
  EXPECT_EQ(traced.lines().size(), after_first.size());
  ASSERT_EQ(asic.vlans.size(), 1u);
  EXPECT_EQ(asic.vlans.at(10).str(), "vid: 10, untagged_ports: xe0,xe1");
  EXPECT_EQ(asic.vlans_without_entry, (std::set<std::int64_t>{20, 30}));
}

TEST(UntaggedVlanCache, ATimeOutRemembersNothing) {
  FakeSwitch sw = switch_with_vlan10();
  sw.sdk("vlan show 40", "vlan 40 untagged xe3 (0x8)\n");  // "ports xe3" does not answer
  const TracedSwitch traced{sw};
  Asic asic(traced.platform());
  for (const auto& [vid, text] :
       {std::pair<std::int64_t, const char*>{50, "vlan show 50"}, {40, "ports xe3"}}) {
    for (int i = 0; i < 2; ++i) {
      const std::size_t before = traced.lines().size();
      try {
        asic._is_port_untagged_for_vid("xe3", vid);
        ADD_FAILURE() << "no time-out for " << text;
      } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), text);
      }
      EXPECT_GT(traced.lines().size(), before) << text;
    }
  }
  EXPECT_TRUE(asic.vlans.empty());
  EXPECT_TRUE(asic.vlans_without_entry.empty());
}

TEST(UntaggedVlanCache, StoresUnderTheVlanNumberPrinted) {
  FakeSwitch sw;
  sw.sdk("vlan show 11", "vlan 12 untagged xe0\n");
  sw.sdk("ports xe0", kPortsHeader + "xe0(1)\n");
  Asic asic(sw.platform());
  EXPECT_FALSE(asic._is_port_untagged_for_vid("xe0", 11));
  EXPECT_EQ(asic.vlans.count(12), 1u);
  EXPECT_TRUE(asic._is_port_untagged_for_vid("xe0", 12));
}

TEST(GroupMac, LowTwentyThreeBitsOfTheGroup) {
  EXPECT_EQ(Asic::_grp_ip2mac("239.129.1.2"), "01:00:5e:01:01:02");
  EXPECT_EQ(Asic::_grp_ip2mac("224.0.0.251"), "01:00:5e:00:00:fb");
  EXPECT_EQ(Asic::_grp_ip2mac("239.255.255.255.9"), "01:00:5e:7f:ff:ff");
  EXPECT_EQ(Asic::_grp_ip2mac("0.1.2.300"), "01:00:5e:01:02:12c");
  EXPECT_EQ(Asic::_grp_ip2mac("239.1.256.7"), "01:00:5e:01:100:07");
  // Pieces are decimal whatever their zeros or length.
  EXPECT_EQ(Asic::_grp_ip2mac("239.010.0.08"), "01:00:5e:0a:00:08");
  EXPECT_EQ(Asic::_grp_ip2mac("239.1.0002.0255"), "01:00:5e:01:02:ff");
  EXPECT_EQ(Asic::_grp_ip2mac("+239.1.2.3"), "01:00:5e:01:02:03");
  EXPECT_THROW(Asic::_grp_ip2mac("239.1.2.3."), std::invalid_argument);
  EXPECT_THROW(Asic::_grp_ip2mac("239..2.3"), std::invalid_argument);
  EXPECT_THROW(Asic::_grp_ip2mac("239.1.2."), std::invalid_argument);
  EXPECT_THROW(Asic::_grp_ip2mac("239.1.2.3 "), std::invalid_argument);
  EXPECT_THROW(Asic::_grp_ip2mac("x.1.2.3"), std::invalid_argument);  // the first piece is read
  EXPECT_THROW(Asic::_grp_ip2mac("239.1.1"), std::out_of_range);
  EXPECT_THROW(Asic::_grp_ip2mac("239.1.1.1.x"), std::invalid_argument);
  EXPECT_THROW(Asic::_grp_ip2mac("239.1.1.0x1"), std::invalid_argument);
  EXPECT_THROW(Asic::_grp_ip2mac(""), std::invalid_argument);
}

}  // namespace
}  // namespace grpaudit

#include "grpaudit/hw/riot.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "grpaudit/asic/asic.h"
#include "grpaudit/check/audit_index.h"
#include "support/fake_switch.h"

namespace grpaudit::hw {
namespace {

using testing::FakeSwitch;
using testing::TracedSwitch;

TEST(L3IngressMode, NonZeroHexadecimalMeansRiot) {
  const struct {
    std::string text;
    bool riot;
  } cases[] = {{"0x0\n", false}, {"0", false},         {"0x1\n", true},
               {"1", true},      {" 0X1f \r\n", true}, {"-0x1", true}};
  for (const auto& c : cases) EXPECT_EQ(parse_l3_ingress_mode(c.text), c.riot) << c.text;
  for (const char* bad : {"", "0x", "L3IngressMode: 0x1", "1 2", "0x1g"}) {
    EXPECT_THROW(parse_l3_ingress_mode(bad), std::invalid_argument) << bad;
  }
}

TEST(RiotMemtable, TheVlanMemoryHoldsTheMappingWhenItHasTheField) {
  EXPECT_EQ(riot_memtable_from_listmem("Fields: 3\n    VALID<0>\n    L3_IIF<12:0>\n"), "VLAN");
  EXPECT_EQ(riot_memtable_from_listmem("    L3_IIF_VALID<3>\n    VALID<0>\n"), "VLAN_MPLS");
  EXPECT_EQ(riot_memtable_from_listmem(""), "VLAN_MPLS");
}

FakeSwitch riot_switch(const std::string& listmem) {
  FakeSwitch sw;
  sw.sdk("sc L3IngressMode", "1\n").sdk("listmem VLAN", listmem);
  sw.table_entry("VLAN", 10, {{"L3_IIF", 7}, {"VALID", 1}});
  sw.table_entry("VLAN", 11, {{"VALID", 1}});
  sw.table_entry("VLAN_MPLS", 10, {{"L3_IIF", 8}});
  return sw;
}

TEST(HwVlanToIif, RiotOffReturnsTheVlanWithoutAskingTheAsic) {
  const TracedSwitch traced{FakeSwitch()};
  Asic asic(traced.platform());
  const std::size_t before = traced.lines().size();
  EXPECT_FALSE(asic.riot_enable);
  EXPECT_EQ(asic.vlan_riot_memtable, "");
  EXPECT_EQ(asic._hw_vlan_to_iif(10), 10);
  EXPECT_EQ(asic._hw_vlan_to_iif(0), 0);
  EXPECT_EQ(asic._hw_vlan_to_iif(-1), std::nullopt);
  EXPECT_EQ(traced.lines().size(), before);
  EXPECT_TRUE(asic.vlan_riot.empty());
}

TEST(HwVlanToIif, RiotOnReadsEachVlanOnceFromTheChosenTable) {
  for (const auto& [listmem, table, iif] :
       {std::tuple<std::string, std::string, std::int64_t>{"    L3_IIF<12:0>\n", "VLAN", 7},
        {"    VALID<0>\n", "VLAN_MPLS", 8}}) {
    const TracedSwitch traced{riot_switch(listmem)};
    Asic asic(traced.platform());
    EXPECT_TRUE(asic.riot_enable);
    EXPECT_EQ(asic.vlan_riot_memtable, table);
    const std::size_t before = traced.lines().size();
    EXPECT_EQ(asic._hw_vlan_to_iif(10), iif);
    EXPECT_EQ(asic._hw_vlan_to_iif(10), iif);
    EXPECT_EQ(asic._hw_vlan_to_iif(-1), std::nullopt);
    const auto lines = traced.lines();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_EQ(lines.back(), R"({"gettable":")" + table + R"(","start":10,"entries":1})");
  }
}

// While an audit's indexes exist, answers are also kept by VLAN ID: the same
// answers, each VLAN read from the ASIC once, failures not remembered, and
// answers of the map, before and after, served from it.
TEST(HwVlanToIif, DuringAnAuditEachVlanIsStillReadOnce) {
  FakeSwitch sw = riot_switch("    L3_IIF<12:0>\n");
  sw.table_entry("VLAN", 70000, {{"L3_IIF", 9}});
  const TracedSwitch traced{sw};
  Asic asic(traced.platform());
  asic.vlan_riot[12] = 99;
  const std::size_t before = traced.lines().size();
  {
    const check::AuditIndex index(asic.replication_groups);
    const auto iif = [&](std::int64_t vlan) {
      return index.riot(vlan, [&](std::int64_t v) { return asic._hw_vlan_to_iif(v); });
    };
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(iif(10), 7);
      EXPECT_EQ(iif(12), 99);
      EXPECT_EQ(iif(70000), 9);
      EXPECT_EQ(iif(-1), std::nullopt);
      EXPECT_THROW(iif(11), std::out_of_range);
    }
  }
  EXPECT_EQ(asic._hw_vlan_to_iif(10), 7);
  EXPECT_EQ(asic.vlan_riot, (std::map<std::int64_t, std::int64_t>{{10, 7}, {12, 99}, {70000, 9}}));
  const auto lines = traced.lines();
  ASSERT_EQ(lines.size(), before + 4);  // 10, 70000, then 11 in each round
  EXPECT_EQ(lines[before], R"({"gettable":"VLAN","start":10,"entries":1})");
  EXPECT_EQ(lines[before + 1], R"({"gettable":"VLAN","start":70000,"entries":1})");
  EXPECT_EQ(lines[before + 2], R"({"gettable":"VLAN","start":11,"entries":1})");
  EXPECT_EQ(lines[before + 3], lines[before + 2]);
}

TEST(HwVlanToIif, AMissingEntryOrFieldFailsAndCachesNothing) {
  Asic asic(riot_switch("L3_IIF<12:0>").platform());
  EXPECT_THROW(asic._hw_vlan_to_iif(11), std::out_of_range);  // no L3_IIF field
  EXPECT_THROW(asic._hw_vlan_to_iif(0), std::out_of_range);   // no entry
  EXPECT_TRUE(asic.vlan_riot.empty());
}

}  // namespace
}  // namespace grpaudit::hw

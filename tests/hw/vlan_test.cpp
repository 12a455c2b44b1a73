#include "grpaudit/hw/vlan.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "grpaudit/hw/vlan_xlate.h"

namespace grpaudit::hw {
namespace {

TEST(VlanShow, FindsTheVlanAndTheLastUntaggedListOfItsLine) {
  const struct {
    std::string text;
    std::optional<std::int64_t> vlan;
    std::string ports;
  } cases[] = {
      {"vlan 10\tports xe0-xe3 (0x1e), untagged xe0-xe1 (0x6) MCAST_FLOOD_UNKNOWN\n", 10,
       "xe0-xe1"},
      {"vlan 10 ports xe0 untagged xe1 (0x4) untagged xe2\n", 10, "xe2"},   // greedy .*
      {"banner\nvlan 20 untagged xe3\nvlan 30 untagged xe4\n", 20, "xe3"},  // leftmost line
      {"vlan 10\tports xe0-xe3 (0x1e)\n", std::nullopt, ""},                // no untagged port
      {"vlan 10 ports xe0\nuntagged xe1\n", std::nullopt, ""},              // not on one line
      {"vlan 10 ports xe0\runtagged xe1\n", std::nullopt, ""},              // \r breaks a line too
      {"Error: vlan -1 does not exist\n", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    const auto got = parse_vlan_show(c.text);
    ASSERT_EQ(got.has_value(), c.vlan.has_value()) << c.text;
    if (!got) continue;
    EXPECT_EQ(got->vlan, *c.vlan) << c.text;
    EXPECT_EQ(got->ports, c.ports) << c.text;
  }
}

TEST(PortNames, BareNamesOfTheRowsAfterTwoHeaderLines) {
  const std::string header = "            ena/  speed/ link\n      port  link  duplex scan\n";
  EXPECT_EQ(parse_port_names(header + "       xe0(  1)  up  10G FD\n  xe1 down\r\nxe2(3)\n"),
            (std::vector<std::string>{"xe0", "xe1", "xe2"}));
  EXPECT_EQ(parse_port_names(header), std::nullopt);
  EXPECT_EQ(parse_port_names("one line\n"), std::nullopt);
  EXPECT_EQ(parse_port_names(""), std::nullopt);
  EXPECT_THROW(parse_port_names(header + "xe0(1) up\n\nxe1(2) up\n"), std::out_of_range);
}

std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>> xlate(std::string_view text) {
  std::vector<VlanXlate> table;
  parse_vlan_xlate(text, table);
  std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>> out;
  for (const auto& x : table) out.emplace_back(x.lport, x.ivid, x.evid);
  return out;
}

TEST(VlanXlate, OneEntryPerLineFromPortNewVidAndOldVid) {
  using T = std::vector<std::tuple<std::int64_t, std::int64_t, std::int64_t>>;
  const struct {
    std::string text;
    T expected;
  } cases[] = {
      {"modid = 0 port = 5, old_vid=100, new_vid=10, prio=-1\n", {{5, 10, 100}}},
      {"Port 1: modid = 1 port = 7,new_vid = 20 , old_vid= 200\r\n", {{7, 20, 200}}},
      {"prio=3\n", {{-1, -1, -1}}},                             // names none of the keys
      {"modid=0 port=5, old_vid=9\n", {{-1, -1, 9}}},           // modid field in another form
      {"old_vid=1=2, old_vid=3, new_vid=4=5\n", {{-1, 4, 3}}},  // later key wins; 2nd part
      {"port=2, new_vid=10, old_vid=100\nport=2, new_vid=10, old_vid=101\n",
       {{2, 10, 100}, {2, 10, 101}}},  // all kept, in order
      {"", {}},
      {"modid = 0 port = 5, old_vid=100\nERROR: table not supported\n", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(xlate(c.text), c.expected) << c.text;
}

TEST(VlanXlate, MalformedLinesFailAndKeepEarlierEntries) {
  const struct {
    std::string bad_line;
    bool conversion;
  } cases[] = {
      {"port=1, old_vid=2,", false},  // comma at the end: an empty field
      {"", false},                    // blank line
      {"port=1, old_vid", false},
      {"port=1, old_vid=x", true},
      {"modid = 0 port = 99999999999999999999", true},
  };
  for (const auto& c : cases) {
    std::vector<VlanXlate> table;
    const std::string text = "port=3, new_vid=30, old_vid=300\n" + c.bad_line + "\nport=4\n";
    if (c.conversion) {
      EXPECT_THROW(parse_vlan_xlate(text, table), std::invalid_argument) << c.bad_line;
    } else {
      EXPECT_THROW(parse_vlan_xlate(text, table), std::out_of_range) << c.bad_line;
    }
    ASSERT_EQ(table.size(), 1u) << c.bad_line;
    EXPECT_EQ(table[0].lport, 3);
  }
}

}  // namespace
}  // namespace grpaudit::hw

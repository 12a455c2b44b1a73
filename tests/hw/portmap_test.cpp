#include "grpaudit/hw/portmap.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "grpaudit/asic/asic.h"
#include "support/fake_switch.h"

namespace grpaudit::hw {
namespace {

std::string name_of(const std::string& dport) {
  if (dport == "xe0") return "swp1";
  if (dport == "xe1") throw 42;  // not even an exception type
  throw std::out_of_range("unknown SDK port " + dport);
}

std::vector<std::string> parse(std::string_view text) {
  std::vector<PortmapEntry> map;
  parse_portmap(text, name_of, map);
  std::vector<std::string> out;
  for (const auto& e : map) out.push_back(e.str());
  return out;
}

TEST(Portmap, LogicalColumnIsOneRightOfItsTitle) {
  EXPECT_EQ(parse("  pipe logical physical\nxe0 0 1 1\nxe1 0 2 2\r\nce0   1   17  33\n"),
            (std::vector<std::string>{
                "dport: xe0, lport: 1, linux_port: swp1, port_vid: -1",
                "dport: xe1, lport: 2, linux_port: None, port_vid: -1",
                "dport: ce0, lport: 17, linux_port: None, port_vid: -1",
            }));
  EXPECT_EQ(parse("logical\nxe0 -5\n"),
            (std::vector<std::string>{"dport: xe0, lport: -5, linux_port: swp1, port_vid: -1"}));
}

TEST(Portmap, UnusableListingsFailWithFixedTexts) {
  const struct {
    std::string text, error;
  } cases[] = {
      {"", "show portmap is not supported on this chip"},
      {"  pipe logical physical\n", "show portmap is not supported on this chip"},
      {"Error: command not found\n", "show portmap is not supported on this chip"},
      {"Error logical\nxe0 0 1\n", "show portmap is not supported on this chip"},
      {"pipe logical_port physical\nxe0 0 1 1\n", "show portmap format unexpected"},
      {"pipe Logical physical\nxe0 0 1 1\n", "show portmap format unexpected"},
  };
  for (const auto& c : cases) {
    std::vector<PortmapEntry> map;
    try {
      parse_portmap(c.text, name_of, map);
      ADD_FAILURE() << c.text;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), c.error) << c.text;
    }
    EXPECT_TRUE(map.empty());
  }
}

TEST(Portmap, BadRowsFailAfterTheRowsBeforeThem) {
  const std::string header = "pipe logical physical\nxe0 0 1 1\n";
  std::vector<PortmapEntry> map;
  EXPECT_THROW(parse_portmap(header + "\nxe1 0 2 2\n", name_of, map), std::out_of_range);
  EXPECT_EQ(map.size(), 1u);
  map.clear();
  EXPECT_THROW(parse_portmap(header + "xe1 0\n", name_of, map), std::out_of_range);
  EXPECT_EQ(map.size(), 1u);
  map.clear();
  EXPECT_THROW(parse_portmap(header + "xe1 0 0x2 2\n", name_of, map), std::invalid_argument);
  EXPECT_EQ(map.size(), 1u);
}

TEST(PvlanShow, AnchoredLinesSetVlansInOrder) {
  std::vector<std::pair<std::string, std::int64_t>> calls;
  parse_pvlan_show(
      "Port xe0 default VLAN is 100\n"
      "  Port xe1 default VLAN is 200\n"      // leading blanks: ignored
      "Port xe2 default VLAN is 300 (tag)\n"  // trailing text: allowed
      "port xe3 default VLAN is 400\n"
      "Port xe0 default VLAN is 101\r\n",
      [&](const std::string& p, std::int64_t v) { calls.emplace_back(p, v); });
  EXPECT_EQ(calls, (std::vector<std::pair<std::string, std::int64_t>>{
                       {"xe0", 100}, {"xe2", 300}, {"xe0", 101}}));
}

TEST(ShowUnit, OneGigChipAnywhereInTheText) {
  EXPECT_TRUE(is_1g_chip("Unit 0 chip BCM56340_A0\n"));
  EXPECT_TRUE(is_1g_chip("x563405"));
  EXPECT_FALSE(is_1g_chip("Unit 0 chip BCM56873_A0\n"));
}

TEST(PortmapAsic, PortVlansReachEveryEntryOfTheName) {
  testing::FakeSwitch sw;
  sw.port("xe0", "swp1");
  sw.sdk("show portmap", testing::portmap_listing({"xe0 0 1 1", "xe9 0 2 2", "xe0 0 3 3"}));
  sw.sdk("pvlan show", "Port xe0 default VLAN is 10\nPort xe7 default VLAN is 70\n");
  sw.sdk("show unit", "Unit 0 chip BCM56340_A0\n");
  Asic asic(sw.platform());
  ASSERT_EQ(asic.portmap.size(), 3u);
  EXPECT_EQ(asic.portmap[0].port_vid, 10);
  EXPECT_EQ(asic.portmap[1].port_vid, -1);
  EXPECT_EQ(asic.portmap[2].port_vid, 10);
  EXPECT_EQ(asic.portmap[1].linux_port, std::nullopt);
  EXPECT_TRUE(asic._is_1G_chip());
}

}  // namespace
}  // namespace grpaudit::hw

// The hardware VLAN on which a route's packets arrive, from the kernel IIF.

#include <gtest/gtest.h>

#include <stdexcept>

#include "grpaudit/asic/asic.h"
#include "support/fake_switch.h"

namespace grpaudit {
namespace {

class KernIifToHwVlan : public ::testing::Test {
 protected:
  void SetUp() override {
    asic = std::make_unique<Asic>(traced.platform());
    asic->portmap = {PortmapEntry("xe1", 1, "swp1"), PortmapEntry("xe2", 2, "swp2"),
                     PortmapEntry("xe5", 5, "swp5"), PortmapEntry("xe6", 6, "swp6")};
    asic->portmap[0].update_port_vid(1000);
    asic->portmap[1].update_port_vid(1002);
    asic->portmap[2].update_port_vid(1005);  // swp6 has no port VID
    asic->vlan_xlate = {VlanXlate(2, 20, 200), VlanXlate(2, 21, 200), VlanXlate(1, 30, 300)};
  }

  testing::TracedSwitch traced{testing::FakeSwitch()};
  std::unique_ptr<Asic> asic;
};

TEST_F(KernIifToHwVlan, FromTheBridgeVlanPortVidOrTranslation) {
  const struct {
    std::string kind, base;
    std::int64_t vlan;
    std::string member;
    std::int64_t hw_vlan;
  } cases[] = {
      {"bridge", "br0", 100, "swp1", 100},
      {"bridge", "br0", 100, "not.a.number", 100},  // the member is not looked at
      {"bridge", "br0", 100, "", 100},
      {"bridge", "br1", -1, "swp1", 1000},     // no VLAN filtering: untagged arrival
      {"swp", "swp2", 200, "swp2.200", 20},    // first translation of the port
      {"swp", "swp2", 300, "swp2.300", -1},    // tagged without translation
      {"swp", "swp1", 200, "swp1.200.7", -1},  // another port's translation does not count
      {"swp", "swp2", 200, "swp2.200.7", 20},  // pieces after the second are ignored
      {"swp", "swp2", 999, "swp2", 1002},      // the member's VLAN, not the argument
      {"bond", "bond0", -1, "swp5", 1005},
      {"bond", "bond0", -1, "swp6", -1},  // port VID not reported
      {"swp", "swp7", -1, "swp7", -1},    // not in the port map
      {"swp", "swp7", 200, "swp7.200", -1},
      {"swp", "swp1", -1, "", -1},
      {"bridge", "br1", -1, "", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(asic->_kern_iif_to_hw_vlan(c.kind, c.base, c.vlan, c.member), c.hw_vlan)
        << c.kind << " " << c.vlan << " " << c.member;
  }
}

TEST_F(KernIifToHwVlan, ReadsNoTableFromTheSwitch) {
  const std::size_t before = traced.lines().size();
  asic->_kern_iif_to_hw_vlan("swp", "swp1", -1, "swp1");
  asic->_kern_iif_to_hw_vlan("swp", "swp2", 200, "swp2.200");
  EXPECT_EQ(traced.lines().size(), before);
}

TEST_F(KernIifToHwVlan, AVlanThatIsNotADecimalNumberFails) {
  for (const char* member : {"swp2.x", "swp2.", "swp2..200", "swp2.0x10"}) {
    EXPECT_THROW(asic->_kern_iif_to_hw_vlan("swp", "swp2", -1, member), std::invalid_argument)
        << member;
  }
}

}  // namespace
}  // namespace grpaudit

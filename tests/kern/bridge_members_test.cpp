// Bridge member cache: the ports of a bridge with bonds replaced by their links.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/kern_fixtures.h"

namespace grpaudit {
namespace {

using ::testing::ElementsAre;
using testing::FakeSwitch;
using ::testing::IsEmpty;
using testing::list_line;
using testing::read_line;
using testing::run_line;
using testing::TracedAsic;
using Names = std::vector<std::string>;

TEST(KernBrMembers, BondsExpandWithTheirVlanAndOtherPortsKeepTheirNames) {
  FakeSwitch sw;
  sw.port("xe0", "swp2s0").port("xe1", "swp3").port("xe2", "swp4");
  testing::bridge(sw, "br0", 0, {"swp2s0", "swp2s0.200", "bond0", "bond0.300", "br9", "a/b"});
  testing::bond(sw, "bond0", "swp3 swp4");
  testing::link(sw, "swp2s0.200", "vlan");
  testing::link(sw, "bond0.300", "vlan");
  testing::link(sw, "br9", "bridge");
  testing::vlan_config(sw, {{"swp2s0.200", 200, "swp2s0"}, {"bond0.300", 300, "bond0"}});
  TracedAsic asic(sw);

  const Names expected{"swp2s0",   "swp2s0.200", "swp3", "swp4",
                       "swp3.300", "swp4.300",   "br9",  "a/b"};
  EXPECT_EQ(asic->_kern_get_br_members("br0"), expected);
  EXPECT_THAT(
      asic.take_trace(),
      ElementsAre(list_line("/sys/class/net/br0/brif"), run_line("/bin/ip -d link show swp2s0.200"),
                  read_line("/proc/net/vlan/config"), run_line("/bin/ip -d link show bond0"),
                  read_line("/sys/class/net/bond0/bonding/slaves"),
                  run_line("/bin/ip -d link show bond0.300"),
                  read_line("/sys/class/net/bond0/bonding/slaves"),
                  run_line("/bin/ip -d link show br9")));
  EXPECT_EQ(asic->_kern_get_br_members("br0"), expected);
  EXPECT_THAT(asic.take_trace(), IsEmpty());
}

TEST(KernBrMembers, NoPortsForWhatIsNotABridgeAndTheAnswerIsKept) {
  FakeSwitch sw;
  TracedAsic asic(sw);
  EXPECT_THAT(asic->_kern_get_br_members("nosuch"), IsEmpty());
  EXPECT_THAT(asic->_kern_get_br_members("nosuch"), IsEmpty());
  EXPECT_THAT(asic->_kern_get_br_members(".."), IsEmpty());
  EXPECT_THAT(asic.take_trace(), ElementsAre(list_line("/sys/class/net/nosuch/brif")));
  EXPECT_TRUE(asic->kern_br_cache.contains(".."));
}

}  // namespace
}  // namespace grpaudit

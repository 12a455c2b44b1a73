// Bond member expansion and the group-address-to-MAC mapping.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/kern_fixtures.h"

namespace grpaudit {
namespace {

using ::testing::ElementsAre;
using testing::FakeSwitch;
using ::testing::IsEmpty;
using testing::read_line;
using testing::TracedAsic;
using Names = std::vector<std::string>;

TEST(ExpandKernBond, MembersFromTheBondingDirectory) {
  FakeSwitch sw;
  testing::bond(sw, "bond0", "swp1 swp2");
  testing::bond(sw, "bond1", "");
  sw.file("/sys/class/net/bond2/bonding/slaves", " swp5\tswp6 \nswp7\n");
  sw.dir("/sys/class/net/bond2/bonding", {});
  sw.dir("/sys/class/net/bond3/bonding", {});  // member file unreadable
  sw.file("/sys/class/net/a/b/bonding/slaves", "swp9\n");
  sw.dir("/sys/class/net/a/b/bonding", {});
  const struct {
    std::string dev;
    Names members;
    std::vector<std::string> trace;
  } cases[] = {
      {"bond0", {"swp1", "swp2"}, {read_line("/sys/class/net/bond0/bonding/slaves")}},
      {"bond1", {}, {read_line("/sys/class/net/bond1/bonding/slaves")}},
      {"bond2", {"swp5", "swp6", "swp7"}, {read_line("/sys/class/net/bond2/bonding/slaves")}},
      {"bond3", {}, {read_line("/sys/class/net/bond3/bonding/slaves")}},
      {"swp1", {}, {}},  // no bonding directory: nothing opened
      {"a/b", {}, {}},   // not a device name: nothing looked at
  };
  TracedAsic asic(sw);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dev);
    EXPECT_EQ(asic->_expand_kern_bond(c.dev), c.members);
    EXPECT_EQ(asic.take_trace(), c.trace);
  }
  asic->_expand_kern_bond("bond0");  // not cached
  EXPECT_THAT(asic.take_trace(), ElementsAre(read_line("/sys/class/net/bond0/bonding/slaves")));
}

TEST(GrpIp2Mac, LowBitsOfTheGroup) {
  const std::pair<const char*, const char*> cases[] = {
      {"239.129.1.2", "01:00:5e:01:01:02"},     {"224.0.0.251", "01:00:5e:00:00:fb"},
      {"239.255.255.255", "01:00:5e:7f:ff:ff"}, {"1.2.3.4.5", "01:00:5e:02:03:04"},
      {"1.2.3.300", "01:00:5e:02:03:12c"},
  };
  for (const auto& [grp, mac] : cases) EXPECT_EQ(Asic::_grp_ip2mac(grp), mac) << grp;
  EXPECT_THROW(Asic::_grp_ip2mac("239.1.1"), std::out_of_range);
  EXPECT_THROW(Asic::_grp_ip2mac("239.x.1"), std::invalid_argument);
  EXPECT_THROW(Asic::_grp_ip2mac("239.1.1.1.x"), std::invalid_argument);
  EXPECT_THROW(Asic::_grp_ip2mac("ff02::1"), std::invalid_argument);
}

}  // namespace
}  // namespace grpaudit

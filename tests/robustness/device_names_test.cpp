// Names from the kernel, the SDK and a snapshot are data, never commands:
// the one shell command is the fixed debug switch, and a name that no kernel
// device can have touches nothing outside /sys/class/net.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/kern_fixtures.h"

namespace grpaudit {
namespace {

using ::testing::ElementsAre;
using testing::FakeSwitch;
using testing::TracedAsic;

const std::string kKey = "default, (10.1.1.1,239.1.1.1)";
const std::string kSwitchCmd = R"({"shell":"echo 1 > /quorvex/hwprogd/ctrl/debug"})";

using testing::AcceptingChecker;

TEST(DeviceNames, NoNameOrSdkTextReachesAShell) {
  // Shell syntax everywhere a name or an SDK text enters: in the port table,
  // the replication groups, the next-hop lines, the kernel's VLAN devices and
  // the route's interfaces. RIOT is on, so the debug switch is used.
  const std::string evil = "x;touch${IFS}pwned";
  FakeSwitch sw;
  sw.port("xe0", "$(reboot)").port("xe1", "`halt`");
  sw.sdk("show portmap", testing::portmap_listing({"xe0 0 1 1", "xe1 0 2 2"}));
  sw.sdk("l3 intf show", testing::l3_intf_listing({"0 1 0 0 100"}));
  sw.sdk("sc L3IngressMode", "1\n").sdk("listmem VLAN", "L3_IIF<12:0>\n");
  sw.host_cmd("cat /quorvex/hwprogd/debug/mroute/info", 0, "intf 1 vlan 100 nhi 7 |reboot\n");
  sw.sdk("multicast show", "Group 0x2000001 ;reboot\n\tport xe1, encap id 7\n");
  sw.sdk("vlan show 100", "vlan 100 untagged xe1;reboot\n").sdk("ports xe1;reboot", "h\nh\nxe1\n");
  sw.sdk("ipmc table show", testing::ipmc_listing({"10.1.1.1 239.1.1.1 1 100 0"}));
  testing::link(sw, evil, "vlan");
  testing::vlan_config(sw, {{evil, 100, "&& reboot"}});
  const std::vector<std::string> oil{"a;b", "$(id)", "`id`", "|id", "&& id"};
  for (const auto& dev : oil) sw.host_cmd("/bin/ip -d link show " + dev, 1, "");
  sw.host_cmd("/bin/ip -d link show && reboot", 1, "");
  const testing::TracedSwitch traced(sw);
  Asic asic(traced.platform());
  AcceptingChecker checker;
  asic.mroute_eq(kKey, evil, oil, checker);

  std::vector<std::string> shell_lines;
  for (const auto& line : traced.lines()) {
    if (line.starts_with(R"({"shell")")) shell_lines.push_back(line);
  }
  // Switched on and back around the next-hop read, with the fixed text.
  EXPECT_THAT(shell_lines, ElementsAre(kSwitchCmd, kSwitchCmd));
}

TEST(DeviceNames, NamesNoKernelDeviceCanHaveTouchNothing) {
  FakeSwitch sw;
  sw.port("xe0", "swp1");
  sw.sdk("ipmc table show", testing::ipmc_listing({"10.1.1.1 239.1.1.1 1 100 0"}));
  // A VLAN device that claims to sit on "..".
  testing::link(sw, "up.10", "vlan");
  testing::vlan_config(sw, {{"up.10", 10, ".."}});
  TracedAsic asic(sw);
  AcceptingChecker checker;

  EXPECT_FALSE(asic->mroute_eq(kKey, "..", {"a/b", ".", "../../etc", "/", "up.10"}, checker));
  EXPECT_THAT(asic.take_trace(), ElementsAre(testing::run_line("/bin/ip -d link show up.10"),
                                             testing::read_line("/proc/net/vlan/config")));
  for (const char* dev : {"..", "a/b", ".", "../../etc", "/"}) {
    SCOPED_TRACE(dev);
    EXPECT_EQ(asic->kern_dev_cache.at(dev).str(),
              std::string(dev) + ": kind: unk vlan_filtering: 0\n");
  }
  // Nor are they a bond, a bridge or a bridge with an MDB.
  EXPECT_TRUE(asic->_expand_kern_bond("..").empty());
  EXPECT_TRUE(asic->_expand_kern_bond("../bond0").empty());
  EXPECT_TRUE(asic->_kern_get_br_members("../br0").empty());
  EXPECT_EQ(asic->_kern_dev_get_mdb_entry(".", -1, "01:00:5e:01:01:01"), nullptr);
  EXPECT_TRUE(asic.take_trace().empty());
}

}  // namespace
}  // namespace grpaudit

#include "grpaudit/asic/asic.h"

#include <gtest/gtest.h>

#include <system_error>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/live_host.h"
#include "grpaudit/platform/trace.h"
#include "support/fake_switch.h"
#include "support/test_support.h"

namespace grpaudit {
namespace {

using testing::FakeSwitch;
using testing::ipmc_listing;

TEST(AsicConstruction, FillsTheAttributesAndReadsTheRouteListing) {
  FakeSwitch sw;
  sw.port("xe0", "swp1").port("xe1", "swp2").vrf(3, "blue");
  sw.sdk("ipmc table show", ipmc_listing({"10.1.1.1 239.1.1.1 5 100 3"}));
  const Asic asic(sw.platform(), false, true);

  EXPECT_EQ(asic.desc, "asic");
  EXPECT_TRUE(asic.debug);
  EXPECT_EQ(asic.linux_ports, (std::vector<std::string>{"swp1", "swp2"}));
  EXPECT_TRUE(asic.flood_mdb_misses);
  EXPECT_FALSE(asic.kern_vlan_cache_created);
  EXPECT_FALSE(asic.kern_vlan_dev_cache_created);
  EXPECT_FALSE(asic.qv_mroute_hwprogd_debug_enabled);
  EXPECT_TRUE(asic.kern_dev_cache.empty());
  EXPECT_TRUE(asic.vlans.empty());
  EXPECT_EQ(asic.get_mroutes(), (std::set<std::string>{"blue, (10.1.1.1,239.1.1.1)"}));
  EXPECT_EQ(asic.mroutes.at("blue, (10.1.1.1,239.1.1.1)").grp, 0x2000005);
}

TEST(AsicConstruction, ShellTimeOutBecomesTheFixedText) {
  FakeSwitch sw;
  sw.no_sdk("ipmc table show");
  try {
    Asic asic(sw.platform());
    FAIL() << "constructed without a route listing";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "ipmc table show timed out");
  }
}

TEST(AsicConstruction, ParseErrorsReachTheCallerUnchanged) {
  FakeSwitch sw;
  sw.sdk("ipmc table show", ipmc_listing({"10.1.1.1 239.1.1.1 5 100 7"}));  // VRF 7 unknown
  EXPECT_THROW(Asic{sw.platform()}, std::out_of_range);
  sw.sdk("ipmc table show", "no header words here\n");
  EXPECT_THROW(Asic{sw.platform()}, std::out_of_range);
}

TEST(AsicConstruction, FailsAtTheStepWhoseComponentIsMissing) {
  FakeSwitch sw;
  Platform p = sw.platform();
  p.sdk_shell = nullptr;
  EXPECT_THROW(Asic{p}, std::runtime_error);
  p = sw.platform();
  p.port_table = nullptr;
  EXPECT_THROW(Asic{p}, std::runtime_error);
}

TEST(AsicConstruction, UsesTheCurrentPlatformByDefault) {
  FakeSwitch sw;
  sw.sdk("ipmc table show", ipmc_listing({"1.1.1.1 239.1.1.1 1 10 0"}));
  const Platform saved = current_platform();
  set_current_platform(sw.platform());
  const Asic asic;
  set_current_platform(saved);
  EXPECT_EQ(asic.mroutes.size(), 1u);
}

TEST(AsicConstruction, TalksToTheSwitchInTheDocumentedOrder) {
  const testing::TracedSwitch traced{FakeSwitch()};
  { const Asic asic(traced.platform()); }
  EXPECT_EQ(traced.lines(), (std::vector<std::string>{
                                R"({"run":"ls /quorvex/hwprogd/debug/mroute/info","status":2})",
                                R"({"run":"/usr/bin/twynctl -v","status":null})",
                                R"({"sdk":"show portmap"})",
                                R"({"sdk":"pvlan show"})",
                                R"({"sdk":"l3 intf show"})",
                                R"({"sdk":"vlan translate show"})",
                                R"({"sdk":"sc L3IngressMode"})",
                                R"({"sdk":"multicast show"})",
                                R"({"sdk":"ipmc table show"})",
                            }));
}

TEST(AsicConstruction, WithRiotReadsNextHopsAndVlansOfRoutedCopies) {
  FakeSwitch sw;
  sw.port("xe0", "swp1").port("xe1", "swp2");
  sw.sdk("show portmap", testing::portmap_listing({"xe0 0 1 1", "xe1 0 2 2"}));
  sw.sdk("l3 intf show", testing::l3_intf_listing({"0 1 0 0 100"}));
  sw.sdk("sc L3IngressMode", "0x1\n").sdk("listmem VLAN", "    L3_IIF<12:0>\n");
  sw.host_cmd("cat /quorvex/hwprogd/debug/mroute/info", 0, "intf 1 vlan 100 nhi 100001 x\n");
  sw.sdk("multicast show",
         "Group 0x2000001 (IPMC)\n\tport xe1, encap id 100001\n\tport xe0, encap id 100001\n");
  sw.sdk("vlan show 100", "vlan 100\tports xe0-xe1 (0x6), untagged xe0 (0x2)\n");
  sw.sdk("ports xe0", "h1\nh2\n  xe0(  1)  up\n");
  sw.sdk("ipmc table show", ipmc_listing({"10.1.1.1 239.1.1.1 1 4100 0"}));
  const testing::TracedSwitch traced{sw};
  const Asic asic(traced.platform());
  EXPECT_EQ(traced.lines(), (std::vector<std::string>{
                                R"({"run":"ls /quorvex/hwprogd/debug/mroute/info","status":2})",
                                R"({"run":"/usr/bin/twynctl -v","status":null})",
                                R"({"sdk":"show portmap"})",
                                R"({"sdk":"pvlan show"})",
                                R"({"sdk":"l3 intf show"})",
                                R"({"sdk":"vlan translate show"})",
                                R"({"sdk":"sc L3IngressMode"})",
                                R"({"sdk":"listmem VLAN"})",
                                R"({"shell":"echo 1 > /quorvex/hwprogd/ctrl/debug"})",
                                R"({"run":"cat /quorvex/hwprogd/debug/mroute/info","status":0})",
                                R"({"shell":"echo 1 > /quorvex/hwprogd/ctrl/debug"})",
                                R"({"sdk":"multicast show"})",
                                R"({"sdk":"vlan show 100"})",
                                R"({"sdk":"ports xe0"})",
                                R"({"sdk":"ipmc table show"})",
                            }));
  EXPECT_EQ(asic.vlan_riot_memtable, "VLAN");
  EXPECT_EQ(asic._dump_one_mroute(asic.mroutes.at("default, (10.1.1.1,239.1.1.1)")),
            "default, (10.1.1.1,239.1.1.1), iif: 4100\n"
            "  port: swp2, vlan: 100\n"
            "  port: swp1\n");
}

TEST(AsicConstruction, MemTableReadsTheRoutesFromTheL3EntryMemory) {
  FakeSwitch sw;
  sw.sdk("dump chg l3_entry_ipv4_multicast",
         "L3_ENTRY_IPV4_MULTICAST.ipipe0[8]: <VALID_0=1,GROUP_IP_ADDR=0xef010101,L3MC_INDEX=5>\n");
  sw.no_sdk("ipmc table show");
  const testing::TracedSwitch traced{sw};
  const Asic asic(traced.platform(), true);
  EXPECT_EQ(traced.lines().back(), R"({"sdk":"dump chg l3_entry_ipv4_multicast"})");
  EXPECT_EQ(asic.get_mroutes(), (std::set<std::string>{"default, (0.0.0.0,239.1.1.1)"}));
  EXPECT_EQ(asic.mroutes.at("default, (0.0.0.0,239.1.1.1)").grp, 0x2000005);
}

TEST(AsicConstruction, EveryShellTimeOutHasItsReadersText) {
  const struct {
    std::string cmd, text;
    bool riot = false, mem_table = false;
  } cases[] = {
      {"show portmap", "show portmap timed out"},
      {"pvlan show", "pvlan show"},
      {"l3 intf show", "l3 intf show"},
      {"vlan translate show", "vlan translate show"},
      {"sc L3IngressMode", "sc L3IngressMode timed out"},
      {"listmem VLAN", "listmem VLAN", true},
      {"multicast show", "multicast show"},
      {"vlan show 100", "vlan show 100"},
      {"ports xe0", "ports xe0"},
      {"ipmc table show", "ipmc table show timed out"},
      {"dump chg l3_entry_ipv4_multicast", "dump chg l3_entry_ipv4_multicast", false, true},
  };
  for (const auto& c : cases) {
    FakeSwitch sw;
    sw.sdk("l3 intf show", testing::l3_intf_listing({"0 5 0 0 100"}));
    sw.sdk("multicast show", "Group 1\n\tport xe0, encap id 5\n");
    sw.sdk("vlan show 100", "vlan 100 untagged xe0\n").sdk("ports xe0", "h1\nh2\nxe0\n");
    sw.port("xe0", "swp1");
    if (c.riot) sw.sdk("sc L3IngressMode", "1");
    sw.no_sdk(c.cmd);
    try {
      Asic asic(sw.platform(), c.mem_table);
      ADD_FAILURE() << "constructed without " << c.cmd;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), c.text);
    }
  }
}

TEST(AsicConstruction, ProcessWideConstants) {
  EXPECT_EQ(Asic::TERM_DEV, "ipmr-lo");
  ASSERT_FALSE(Asic::ORIG_DEV.empty());
  EXPECT_EQ(Asic::ORIG_DEV.front(), "lo");
  EXPECT_EQ(Asic::_devs_supported[0], "bridge");
  EXPECT_EQ(Asic::_devs_supported[3], "swp");
}

// The command runner against real programs.
class CmdOutput : public ::testing::Test {
 protected:
  std::shared_ptr<Host> host = platform::make_live_host();
};

TEST_F(CmdOutput, ReturnsStandardOutputExactlyOnSuccess) {
  EXPECT_EQ(Asic::_get_cmd_output(*host, {"/bin/echo", "a", "b"}, ""), "a b\n");
  EXPECT_EQ(Asic::_get_cmd_output(*host, {"/bin/echo", "a", "b"}),
            std::optional<std::string>("a b\n"));
}

TEST_F(CmdOutput, NonZeroExitGivesTheFallbackEvenAfterOutput) {
  const std::vector<std::string> cmd{"/bin/sh", "-c", "echo printed; exit 1"};
  EXPECT_EQ(Asic::_get_cmd_output(*host, cmd, ""), "");
  EXPECT_EQ(Asic::_get_cmd_output(*host, cmd, "{}"), "{}");
  EXPECT_EQ(Asic::_get_cmd_output(*host, cmd), std::nullopt);
}

TEST_F(CmdOutput, StandardErrorIsDiscarded) {
  EXPECT_EQ(Asic::_get_cmd_output(*host, {"/bin/sh", "-c", "echo only-error >&2"}, "x"), "");
}

TEST_F(CmdOutput, AMissingProgramRaises) {
  EXPECT_THROW(Asic::_get_cmd_output(*host, {"/nonexistent/program"}, ""), std::system_error);
}

}  // namespace
}  // namespace grpaudit

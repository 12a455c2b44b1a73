// The kernel part on its own: a Host and caches of its own, no Asic and no
// switch SDK.

#include "grpaudit/kern/kernel.h"

#include <gtest/gtest.h>

#include "support/kern_fixtures.h"

namespace grpaudit::kern {
namespace {

TEST(Kernel, ReadsAndCachesTheKernelThroughItsHostAlone) {
  testing::FakeSwitch sw;
  testing::bridge(sw, "br0", 1, {"swp1", "bond1"});
  testing::bond(sw, "bond1", "swp2 swp3");
  testing::link(sw, "bond1.100", "vlan");
  testing::link(sw, "vlan100", "vlan");
  testing::vlan_config(sw, {{"bond1.100", 100, "bond1"}, {"vlan100", 100, "br0"}});
  sw.host_cmd("/sbin/bridge -d -s mdb show dev br0", 0,
              "dev br0 port bond1.100 grp 239.1.1.1 temp vid 100\n"
              "router ports on br0: swp1   254.71 temp\n")
      .host_cmd("/sbin/bridge vlan show dev swp1", 0, "port\tvlan ids\nswp1\t 100\n\t 200\n");

  std::map<std::string, KernDevEntry> dev;
  std::map<std::string, KernMdbCache> mdb;
  bool vlan_created = false, vlan_dev_created = false;
  std::map<std::int64_t, KernVlanEntry> vlan;
  std::map<std::string, KernVlanDevEntry> vlan_dev;
  std::map<std::string, std::vector<std::string>> br;
  const std::vector<std::string> linux_ports{"swp1", "swp2", "swp3"};
  util::Warnings warnings;
  Kernel kernel(sw.platform().host, linux_ports,
                Caches{dev, mdb, vlan_created, vlan, vlan_dev_created, vlan_dev, br}, warnings);

  EXPECT_EQ(kernel.base_dev_kind_get("vlan100", -1),
            std::make_tuple(std::string("bridge"), std::string("br0"), std::int64_t{100}));
  EXPECT_EQ(kernel.expand_bond("bond1"), (std::vector<std::string>{"swp2", "swp3"}));
  const KernMdbEntry* entry = kernel.dev_get_mdb_entry("br0", 100, "01:00:5e:01:01:01");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->swp, (std::vector<std::string>{"swp2.100", "swp3.100", "swp1"}));
  EXPECT_EQ(kernel.get_br_members("br0"), (std::vector<std::string>{"swp1", "swp2", "swp3"}));
  // What it read stays in the caches it was given.
  EXPECT_TRUE(vlan_dev_created);
  EXPECT_EQ(dev.at("br0").vlan_filtering, 1);
  EXPECT_EQ(mdb.at("br0").mdb_rports.size(), 2u);
  EXPECT_EQ(br.at("br0").size(), 3u);
  EXPECT_TRUE(warnings.empty());
}

}  // namespace
}  // namespace grpaudit::kern

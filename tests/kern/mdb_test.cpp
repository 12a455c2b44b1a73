// The multicast database of a bridge: group entries keyed by VLAN and MAC,
// with the bridge's router ports.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/kern_fixtures.h"

namespace grpaudit {
namespace {

using ::testing::ElementsAre;
using testing::FakeSwitch;
using ::testing::IsEmpty;
using testing::read_line;
using testing::run_line;
using testing::TracedAsic;
using Names = std::vector<std::string>;

constexpr const char* kMac1 = "01:00:5e:01:01:01";  // 239.1.1.1 and 239.129.1.1
constexpr const char* kMac2 = "01:00:5e:01:01:02";

Names ports_of(const KernMdbEntry* e) {
  return e ? e->swp : Names{"<none>"};
}

void ports_and_bonds(FakeSwitch& sw) {
  for (const char* p : {"swp1", "swp2", "swp2s0", "swp3", "swp4", "swp5", "swp6", "swp7"}) {
    sw.port(std::string("xe-") + p, p);
  }
  testing::bond(sw, "bond0", "swp3 swp4");
  testing::bond(sw, "bond1", "swp6 swp7");
  testing::link(sw, "swp2s0.200", "vlan");
  testing::link(sw, "bond0.100", "vlan");
  testing::link(sw, "vx0", "vxlan");
  testing::vlan_config(sw, {{"swp2s0.200", 200, "swp2s0"}, {"bond0.100", 100, "bond0"}});
}

// The router-port line names the bridge asked about, whatever it is called.
class KernMdbUnaware : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(KernMdbUnaware, EntriesWithRouterPorts) {
  const auto& [name, other] = GetParam();
  FakeSwitch sw;
  ports_and_bonds(sw);
  testing::bridge(sw, name, 0, {});
  sw.host_cmd(
      "/sbin/bridge -d -s mdb show dev " + name, 0,
      "dev " + name + " port bond0.100 grp 239.1.1.2 permanent   0.00\n" + "dev " + name +
          " port swp1 grp 239.1.1.1 temp   12.00\n" + "dev " + name +
          " port swp2s0.200 grp 239.129.1.1 temp\n" + "dev " + name +
          " port swp1 grp 239.1.1.1 temp\n" + "dev " + other + " port swp7 grp 239.1.1.1 temp\n" +
          "dev " + name + " port swp1 grp ff02::6a temp\n" + "router ports on " + other +
          ": swp7   0.00 permanent\n" + "router ports on " + name +
          ": swp2s0.200 swp6   0.00 permanent\n" + "router ports on " + name + ": bond0.100\n" +
          "router ports on " + name + ":  swp5\n" + "router ports on " + name + ": vx0   3.10\n");
  TracedAsic asic(sw);

  EXPECT_EQ(ports_of(asic->_kern_dev_get_mdb_entry(name, -1, kMac1)),
            (Names{"swp1", "swp2s0", "swp3", "swp4", "swp2s0.200"}));
  const std::string mdb = "/sbin/bridge -d -s mdb show dev " + name;
  EXPECT_THAT(
      asic.take_trace(),
      ElementsAre(
          run_line(mdb), run_line("/bin/ip -d link show " + name),
          read_line("/sys/class/net/" + name + "/bridge/vlan_filtering"),
          run_line("/bin/ip -d link show swp2s0.200"), read_line("/proc/net/vlan/config"),
          run_line("/bin/ip -d link show bond0.100"), run_line("/bin/ip -d link show bond0"),
          read_line("/sys/class/net/bond0/bonding/slaves"), run_line("/bin/ip -d link show vx0"),
          read_line("/sys/class/net/bond0/bonding/slaves")));

  // A bond sub-interface receives on its links with the VLAN; as a router
  // port it gave the links alone.
  EXPECT_EQ(ports_of(asic->_kern_dev_get_mdb_entry(name, -1, kMac2)),
            (Names{"swp3.100", "swp4.100", "swp2s0", "swp3", "swp4"}));
  EXPECT_EQ(asic->_kern_dev_get_mdb_entry(name, 10, kMac1), nullptr);
  EXPECT_EQ(asic->_kern_dev_get_mdb_entry(name, -1, "01:00:5e:09:09:09"), nullptr);
  EXPECT_THAT(asic.take_trace(), IsEmpty());
  // Entries print in the kernel's order, not sorted.
  EXPECT_EQ(asic->kern_mdb_cache.at(name).str(),
            "dev: " + name + ":\n  grp: " + kMac2 +
                "\n    port: swp3.100\n    port: swp4.100\n    port: swp2s0\n    port: swp3\n"
                "    port: swp4\n  grp: " +
                kMac1 +
                "\n    port: swp1\n    port: swp2s0\n    port: swp3\n    port: swp4\n"
                "    port: swp2s0.200\n");
}

INSTANTIATE_TEST_SUITE_P(BridgeNames, KernMdbUnaware,
                         ::testing::Values(std::pair<std::string, std::string>{"br0", "bridge"},
                                           std::pair<std::string, std::string>{"bridge", "br0"}));

// The ports and bonds above, with a VLAN-aware br0 whose database lists
// `mdb`.
FakeSwitch vlan_aware_br0(const std::string& mdb) {
  FakeSwitch sw;
  ports_and_bonds(sw);
  testing::bridge(sw, "br0", 1, {});
  sw.host_cmd("/sbin/bridge -d -s mdb show dev br0", 0, mdb);
  return sw;
}

TEST(KernMdb, VlanAwareRouterPortsJoinTheirVlansOnly) {
  FakeSwitch sw = vlan_aware_br0(
      "dev br0 port swp1 grp 239.1.1.1 temp vid 10\n"
      "dev br0 port swp2 grp 239.1.1.1 permanent vid 30\n"
      "dev br0 port swp7 grp 239.1.1.1 temp\n"
      "dev br0 port bond0 grp 239.1.1.2 temp vid 20\n"
      "dev br0 port bond0 grp 239.1.1.1 temp vid 10\n"
      "router ports on br0: swp5\n"
      "router ports on br0: bond1 0.00\n");
  sw.host_cmd("/sbin/bridge vlan show dev swp5", 0,
              "port\tvlan ids\nswp5\t 10 PVID Egress Untagged\n\t 20\n\t 40-50\n  30\n\n");
  sw.host_cmd("/sbin/bridge vlan show dev bond1", 0, "bond1\t 20\n");
  TracedAsic asic(sw);

  EXPECT_EQ(ports_of(asic->_kern_dev_get_mdb_entry("br0", 10, kMac1)),
            (Names{"swp1", "swp5", "swp3", "swp4"}));
  EXPECT_EQ(ports_of(asic->_kern_dev_get_mdb_entry("br0", 30, kMac1)), (Names{"swp2"}));
  EXPECT_EQ(ports_of(asic->_kern_dev_get_mdb_entry("br0", 20, kMac2)),
            (Names{"swp3", "swp4", "swp5", "swp6", "swp7"}));
  EXPECT_EQ(asic->_kern_dev_get_mdb_entry("br0", -1, kMac1), nullptr);
  EXPECT_EQ(asic->kern_mdb_cache.at("br0").mdb_rports.size(), 2u);
  EXPECT_THAT(
      asic.take_trace(),
      ElementsAre(
          run_line("/sbin/bridge -d -s mdb show dev br0"), run_line("/bin/ip -d link show br0"),
          read_line("/sys/class/net/br0/bridge/vlan_filtering"),
          run_line("/sbin/bridge vlan show dev swp5"), run_line("/sbin/bridge vlan show dev bond1"),
          run_line("/bin/ip -d link show bond1"), read_line("/sys/class/net/bond1/bonding/slaves"),
          run_line("/bin/ip -d link show bond0"), read_line("/sys/class/net/bond0/bonding/slaves"),
          // A bond's links are read on each of its lines.
          read_line("/sys/class/net/bond0/bonding/slaves")));
}

// A group's lines usually follow one another, but an entry is the same
// whenever its VLAN number and MAC are, however the line spells them, and
// gets its VLAN's router ports once, right after its first port.
TEST(KernMdb, LinesOfOneEntryWhereverTheyStand) {
  FakeSwitch sw = vlan_aware_br0(
      "dev br0 port swp1 grp 239.1.1.1 temp vid 20\n"
      "dev br0 port swp2 grp 239.1.1.1 temp vid 20\n"
      "dev br0 port swp1 grp 239.129.1.1 temp vid 20\n"
      "dev br0 port swp3 grp 239.1.1.1 temp vid 020\n"
      "dev br0 port swp3 grp 239.1.1.1 temp vid 10\n"
      "dev br0 port swp6 grp 239.1.1.1 temp vid 20\n"
      "dev br0 port swp2 grp 239.129.1.1 temp vid 10\n"
      "router ports on br0: swp5\n");
  sw.host_cmd("/sbin/bridge vlan show dev swp5", 0, "swp5\t 10\n\t 20\n");
  TracedAsic asic(sw);

  EXPECT_EQ(ports_of(asic->_kern_dev_get_mdb_entry("br0", 20, kMac1)),
            (Names{"swp1", "swp5", "swp2", "swp3", "swp6"}));
  EXPECT_EQ(ports_of(asic->_kern_dev_get_mdb_entry("br0", 10, kMac1)),
            (Names{"swp3", "swp5", "swp2"}));
  EXPECT_EQ(asic->kern_mdb_cache.at("br0").mdb_entries.size(), 2u);
  EXPECT_EQ(asic->kern_mdb_cache.at("br0").mdb_entries.begin()->first, std::string("20.") + kMac1);
}

TEST(KernMdb, FailuresLeaveWhatWasReadAndNothingIsAskedAgain) {
  FakeSwitch sw;
  sw.port("xe1", "swp1");
  testing::bridge(sw, "br0", 0, {});
  sw.host_cmd("/sbin/bridge -d -s mdb show dev br0", 0,
              "dev br0 port swp1 grp 239.1.1.1 temp\ndev br0 port swp1 grp 239.1.300 temp\n");
  sw.host_cmd("/sbin/bridge -d -s mdb show dev br1", 1, "dev br1 port swp1 grp 239.1.1.1 temp\n");
  testing::bridge(sw, "br1", 0, {});
  TracedAsic asic(sw);

  EXPECT_THROW(asic->_kern_dev_get_mdb_entry("br0", -1, kMac1), std::out_of_range);
  asic.take_trace();
  EXPECT_EQ(ports_of(asic->_kern_dev_get_mdb_entry("br0", -1, kMac1)), (Names{"swp1"}));
  EXPECT_EQ(asic->_kern_dev_get_mdb_entry("br1", -1, kMac1), nullptr);  // listing failed
  EXPECT_EQ(asic->_kern_dev_get_mdb_entry("a/b", -1, kMac1), nullptr);  // not a device name
  EXPECT_EQ(asic->_kern_dev_get_mdb_entry("a/b", -1, kMac1), nullptr);
  EXPECT_THAT(asic.take_trace(),
              ElementsAre(run_line("/sbin/bridge -d -s mdb show dev br1", 1),
                          run_line("/bin/ip -d link show br1"),
                          read_line("/sys/class/net/br1/bridge/vlan_filtering")));
  EXPECT_TRUE(asic->kern_mdb_cache.contains("a/b"));
}

}  // namespace
}  // namespace grpaudit

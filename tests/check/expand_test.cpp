// Expanding one kernel interface into the replication identities the ASIC
// must produce for it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "support/kern_fixtures.h"

namespace grpaudit {
namespace {

using testing::FakeSwitch;
using testing::run_line;
using testing::TracedAsic;
using Ids = std::set<std::string>;

constexpr const char* kVlanListing = "/sbin/bridge -j vlan show";

// br0 filters VLANs: swp1 and the bond are access ports of VLAN 100, swp3 a
// trunk of 100 and 200, swp2 tagged in 100 and untagged in 200. br1 does not
// filter; its SVI br1v50 must still give bare names.
FakeSwitch bridged_switch() {
  FakeSwitch sw;
  for (int i = 1; i <= 6; ++i) sw.port("xe" + std::to_string(i), "swp" + std::to_string(i));
  testing::bridge(sw, "br0", 1, {"swp1", "swp2", "swp3", "bond0"});
  testing::bridge(sw, "br1", 0, {"swp4", "bond0.100", "swp3.300"});
  testing::bond(sw, "bond0", "swp5 swp6");
  testing::bond(sw, "bond9", "");  // no links
  for (const char* v : {"vlan100", "vlan200", "vlan300", "br1v50", "swp1.100", "bond0.100",
                        "swp3.300", "vlan999"}) {
    testing::link(sw, v, "vlan");
  }
  testing::link(sw, "vx0", "vxlan");
  sw.host_cmd("/bin/ip -d link show ghost", 1, "");
  testing::vlan_config(sw, {{"vlan100", 100, "br0"},
                            {"vlan200", 200, "br0"},
                            {"vlan300", 300, "br0"},
                            {"br1v50", 50, "br1"},
                            {"swp1.100", 100, "swp1"},
                            {"bond0.100", 100, "bond0"},
                            {"swp3.300", 300, "swp3"}});
  sw.host_cmd("/sbin/bridge -d -s mdb show dev br0", 0,
              "dev br0 port swp1 grp 239.1.1.1 temp vid 100\n"
              "dev br0 port swp3 grp 239.1.1.1 temp vid 100\n"
              "dev br0 port bond0 grp 239.1.1.1 temp vid 100\n"
              "dev br0 port bond9 grp 239.1.1.9 temp vid 100\n");
  sw.host_cmd("/sbin/bridge -d -s mdb show dev br1", 0, "dev br1 port swp4 grp 239.1.1.1 temp\n");
  sw.host_cmd(kVlanListing, 0, R"([
    {"ifname": "br0", "vlans": [{"vlan": 100}, {"vlan": 200}]},
    {"ifname": "swp1", "vlans": [{"vlan": 100, "flags": ["PVID", "Egress Untagged"]}]},
    {"ifname": "swp2", "vlans": [{"vlan": 100}, {"vlan": 200, "flags": ["Egress Untagged"]}]},
    {"ifname": "swp3", "vlans": [{"vlan": 100}, {"vlan": 200}]},
    {"ifname": "bond0", "vlans": [{"vlan": 100, "flags": ["PVID", "Egress Untagged"]}]},
    {"ifname": "swp4", "vlans": [{"vlan": 1, "flags": ["PVID", "Egress Untagged"]}]}
  ])");
  return sw;
}

Ids expand(Asic& asic, const std::string& grp, const std::string& dev) {
  asic.tmp_encaps.clear();
  asic._expand_kern_dev(grp, dev);
  return asic.tmp_encaps;
}

bool lists_vlans(const std::vector<std::string>& trace) {
  return std::find(trace.begin(), trace.end(), run_line(kVlanListing)) != trace.end();
}

TEST(ExpandKernDev, EachKindGivesTheIdentitiesOnTheWire) {
  const struct {
    std::string grp, dev;
    bool flood;
    Ids ids;
  } cases[] = {
      // MDB hit: access ports bare, the trunk suffixed.
      {"239.1.1.1", "vlan100", true, {"swp1", "swp3.100", "swp5", "swp6"}},
      {"224.129.1.1", "vlan100", true, {"swp1", "swp3.100", "swp5", "swp6"}},  // same MAC
      // Miss: every port of the VLAN, or none.
      {"239.1.1.2", "vlan100", true, {"swp2.100", "swp3.100", "swp1", "swp5", "swp6"}},
      {"239.1.1.2", "vlan200", true, {"swp2", "swp3.200"}},
      {"239.1.1.2", "vlan100", false, {}},
      {"239.1.1.2", "vlan300", true, {}},  // a VLAN without ports
      {"239.1.1.9", "vlan100", true, {}},  // an entry without ports stops the flooding
      // No VLAN filtering: names unchanged, also through a VLAN interface.
      {"239.1.1.1", "br1", true, {"swp4"}},
      {"239.1.1.1", "br1v50", true, {"swp4"}},
      {"239.1.1.2", "br1", true, {"swp4", "swp5.100", "swp6.100", "swp3.300"}},
      {"239.1.1.2", "br1", false, {}},
      // Ports and bonds do not depend on the group.
      {"239.1.1.1", "swp1", true, {"swp1"}},
      {"239.9.9.9", "swp1.100", true, {"swp1.100"}},
      {"239.1.1.1", "bond0", true, {"swp5", "swp6"}},
      {"239.9.9.9", "bond0.100", true, {"swp5.100", "swp6.100"}},
      // Kinds the expansion does not handle, and a VLAN device it cannot resolve.
      {"239.1.1.1", "vx0", true, {}},
      {"239.1.1.1", "ghost", true, {}},
      {"239.1.1.1", "vlan999", true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dev + " " + c.grp);
    TracedAsic asic(bridged_switch());
    asic->flood_mdb_misses = c.flood;
    EXPECT_EQ(expand(*asic, c.grp, c.dev), c.ids);
  }
}

// The bridge VLAN table is read only for a VLAN-filtering bridge that has
// members to name.
TEST(ExpandKernDev, BridgeVlanTableReadOnlyWhenAMemberIsNamed) {
  const struct {
    std::string grp, dev;
    bool flood, lists;
  } cases[] = {
      {"239.1.1.1", "vlan100", true, true},   // MDB hit: for the members' names
      {"239.1.1.9", "vlan100", true, false},  // empty entry: nothing to name
      {"239.1.1.2", "vlan100", false, false},
      {"239.1.1.2", "br1", true, false},  // no VLAN filtering
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dev + " " + c.grp);
    TracedAsic asic(bridged_switch());
    asic->flood_mdb_misses = c.flood;
    expand(*asic, c.grp, c.dev);
    EXPECT_EQ(lists_vlans(asic.take_trace()), c.lists);
  }
}

TEST(ExpandKernDev, ReaderErrorsPassThrough) {
  FakeSwitch sw = bridged_switch();
  sw.host_cmd(kVlanListing, 0, "[{\"ifname\": \"swp1\"}]");  // no "vlans"
  TracedAsic asic(sw);
  EXPECT_THROW(expand(*asic, "239.1.1.1", "vlan100"), nlohmann::json::exception);

  // A listing whose link-kind line holds no word.
  sw.host_cmd("/bin/ip -d link show broken", 0, "7: broken: <UP>\n    link/ether\n    \n");
  TracedAsic other(sw);
  EXPECT_THROW(expand(*other, "239.1.1.1", "broken"), std::out_of_range);
}

}  // namespace
}  // namespace grpaudit

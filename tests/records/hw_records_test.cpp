#include "grpaudit/records/hw_records.h"

#include <gtest/gtest.h>

#include <fmt/format.h>

#include <sstream>

namespace grpaudit {
namespace {

TEST(Hmroute, GroupIdCarriesTheTypeBitsOnce) {
  EXPECT_EQ(Hmroute("1.1.1.1", "239.1.1.1", 5, 5, "default").grp, 0x2000005);
  EXPECT_EQ(Hmroute("1.1.1.1", "239.1.1.1", 5, 0x2000005, "default").grp, 0x2000005);
  EXPECT_EQ(Hmroute("1.1.1.1", "239.1.1.1", 5, 0, "default").grp, 0x2000000);
}

TEST(Hmroute, TextFormShowsErrorsOnlyWhenThereAreSome) {
  Hmroute r("10.1.1.1", "239.1.1.1", 5, 1, "default");
  EXPECT_EQ(r.str(), "default, (10.1.1.1,239.1.1.1), iif: 5");

  r.oil_mismatch.push_back("kernel has OIFs not in the hw");
  EXPECT_EQ(r.str(),
            "default, (10.1.1.1,239.1.1.1), iif: 5\n  errors:\n    kernel has OIFs not in the hw");

  r.iif_mismatch.push_back("kernel IIF does not match hw IIF");
  EXPECT_EQ(r.str(),
            "default, (10.1.1.1,239.1.1.1), iif: 5\n  errors:\n"
            "    kernel IIF does not match hw IIF\n    kernel has OIFs not in the hw");
}

TEST(Hmroute, KernelIifReplacesTheNumberWhenSetAndNotEmpty) {
  Hmroute r("0.0.0.0", "239.1.1.1", 7, 1, "blue");
  r.kernel_iif = "";
  EXPECT_EQ(r.str(), "blue, (0.0.0.0,239.1.1.1), iif: 7");
  r.kernel_iif = "vlan100";
  EXPECT_EQ(r.str(), "blue, (0.0.0.0,239.1.1.1), iif: vlan100");
  std::ostringstream os;
  os << r;
  EXPECT_EQ(os.str(), r.str());
}

TEST(Encap, IdentityAndTextFormDependOnTheWireVlanOnly) {
  const struct {
    Encap encap;
    std::string identity, text;
  } cases[] = {
      {Encap("swp1", "xe0", -1, -1, -1), "swp1", "port: swp1"},
      {Encap("swp1", "xe0", 5, 100, 0), "swp1.0", "port: swp1, vlan: 0"},
      {Encap("swp2", "xe1", 5, 100, 200), "swp2.200", "port: swp2, vlan: 200"},
      {Encap("swp2", "xe1", 5, 100, -1), "swp2", "port: swp2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.encap.encap2swp(), c.identity);
    EXPECT_EQ(c.encap.str(), c.text);
  }
}

TEST(ReplicationGroup, IdentitySetsCollapseDuplicates) {
  const ReplicationGroup g(0x2000001,
                           {Encap("swp1", "xe0", -1, -1, -1), Encap("swp1", "xe0", -1, -1, -1)},
                           {Encap("swp3", "xe2", 5, 100, 100), Encap("swp4", "xe3", 5, 100, -1)});
  EXPECT_EQ(g.get_l2_linux_encaps(), (std::set<std::string>{"swp1"}));
  EXPECT_EQ(g.get_l3_linux_encaps(), (std::set<std::string>{"swp3.100", "swp4"}));
  EXPECT_TRUE(ReplicationGroup(1, {}, {}).get_l3_linux_encaps().empty());
}

TEST(ReplicationGroup, TextFormListsL3ThenL2Entries) {
  EXPECT_EQ(ReplicationGroup(1, {}, {}).str(), "");
  EXPECT_EQ(ReplicationGroup(1, {}, {Encap("swp3", "xe2", 5, 100, 100)}).str(),
            "  port: swp3, vlan: 100\n");
  EXPECT_EQ(
      ReplicationGroup(1, {Encap("swp1", "xe0", -1, -1, -1), Encap("swp2", "xe1", -1, -1, -1)},
                       {Encap("swp3", "xe2", 5, 100, -1)})
          .str(),
      "  port: swp3\n  L2 replication ports:\n    port: swp1\n    port: swp2\n");
}

TEST(PortmapEntry, TextFormShowsNoneAndThePortVid) {
  PortmapEntry p("xe0", 1, std::string("swp1"));
  EXPECT_EQ(p.str(), "dport: xe0, lport: 1, linux_port: swp1, port_vid: -1");
  p.update_port_vid(100);
  EXPECT_EQ(p.str(), "dport: xe0, lport: 1, linux_port: swp1, port_vid: 100");
  EXPECT_EQ(PortmapEntry("ce9", 70, std::nullopt).str(),
            "dport: ce9, lport: 70, linux_port: None, port_vid: -1");
}

TEST(VlanRecords, TextForms) {
  EXPECT_EQ(VlanEntry(10, {}).str(), "vid: 10, untagged_ports: ");
  EXPECT_EQ(VlanEntry(10, {"xe0", "xe1"}).str(), "vid: 10, untagged_ports: xe0,xe1");
  EXPECT_EQ(VlanXlate(5, 10, 100).str(), "lport: 5, ivid: 10, evid: 100");
  // fmt writes a record as its text form, in a field of its own width too.
  EXPECT_EQ(fmt::format("{}|{:>31}", VlanEntry(10, {"xe0"}), VlanXlate(5, 10, 100)),
            "vid: 10, untagged_ports: xe0|  lport: 5, ivid: 10, evid: 100");
}

}  // namespace
}  // namespace grpaudit

#include <gtest/gtest.h>

#include <sstream>

#include "grpaudit/asic/asic.h"
#include "support/fake_switch.h"

namespace grpaudit {
namespace {

using testing::FakeSwitch;
using testing::ipmc_listing;

class Dumps : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeSwitch sw;
    sw.vrf(2, "mgmt");
    sw.sdk("ipmc table show", ipmc_listing({
                                  "9.0.0.1   239.1.1.1 1 100 0",
                                  "10.0.0.1  239.1.1.1 2 100 0",
                                  "10.0.0.1  239.1.1.1 3 100 2",
                              }));
    asic = std::make_unique<Asic>(sw.platform());
    asic->replication_groups.emplace(
        0x2000002,
        ReplicationGroup(0x2000002,
                         {Encap("swp1", "xe0", -1, -1, -1), Encap("swp2", "xe1", -1, -1, -1)},
                         {Encap("swp3", "xe2", 5, 100, 100)}));
  }

  std::string dump(const std::vector<std::string>& filter) const {
    std::ostringstream os;
    asic->dump_mroutes(filter, os);
    return os.str();
  }

  std::unique_ptr<Asic> asic;
};

constexpr const char* kRoute9 = "default, (9.0.0.1,239.1.1.1), iif: 100\n";
constexpr const char* kRoute10 =
    "default, (10.0.0.1,239.1.1.1), iif: 100\n"
    "  port: swp3, vlan: 100\n"
    "  L2 replication ports:\n"
    "    port: swp1\n"
    "    port: swp2\n";
constexpr const char* kRouteMgmt = "mgmt, (10.0.0.1,239.1.1.1), iif: 100\n";

TEST_F(Dumps, AllRoutesSortByKeyTextNotByAddress) {
  const std::string all = std::string(kRoute10) + kRoute9 + kRouteMgmt;
  EXPECT_EQ(dump({}), all);
  EXPECT_EQ(asic->str(), "Asic ip mroutes:\n" + all);
  EXPECT_EQ(asic->get_mroutes(),
            (std::set<std::string>{"default, (10.0.0.1,239.1.1.1)", "default, (9.0.0.1,239.1.1.1)",
                                   "mgmt, (10.0.0.1,239.1.1.1)"}));
}

TEST_F(Dumps, FilterKeepsTheCallersOrderRepeatsAndSkipsUnknownKeys) {
  EXPECT_EQ(dump({"mgmt, (10.0.0.1,239.1.1.1)", "default, (1.1.1.1,239.1.1.1)",
                  "default, (9.0.0.1,239.1.1.1)", "mgmt, (10.0.0.1,239.1.1.1)"}),
            std::string(kRouteMgmt) + kRoute9 + kRouteMgmt);
  EXPECT_EQ(dump({"default, (1.1.1.1,239.1.1.1)"}), "");
}

TEST_F(Dumps, RecordedMismatchesStandBetweenTheRouteAndItsReplication) {
  Hmroute& r = asic->mroutes.at("default, (10.0.0.1,239.1.1.1)");
  r.iif_mismatch.push_back("kernel IIF does not match hw IIF");
  r.oil_mismatch.push_back("hw has OIFs not in the kernel");
  EXPECT_EQ(asic->_dump_one_mroute(r),
            "default, (10.0.0.1,239.1.1.1), iif: 100\n"
            "  errors:\n"
            "    kernel IIF does not match hw IIF\n"
            "    hw has OIFs not in the kernel\n"
            "  port: swp3, vlan: 100\n"
            "  L2 replication ports:\n"
            "    port: swp1\n"
            "    port: swp2\n");
}

TEST(DumpsEmpty, NoRoutesGiveTheHeadingAlone) {
  FakeSwitch sw;
  const Asic asic(sw.platform());
  EXPECT_TRUE(asic.get_mroutes().empty());
  EXPECT_EQ(asic.str(), "Asic ip mroutes:\n");
  std::ostringstream os;
  os << asic;
  EXPECT_EQ(os.str(), "Asic ip mroutes:\n");
}

}  // namespace
}  // namespace grpaudit

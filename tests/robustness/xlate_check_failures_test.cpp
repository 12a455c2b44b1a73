// Failure rows of the lookups, the OIF expansion and the comparison.

#include <gtest/gtest.h>

#include "robustness/failure_matrix.h"
#include "support/kern_fixtures.h"

namespace grpaudit::testing {
namespace {

using K = Kind;

using testing::AcceptingChecker;

const std::string kKey = "default, (10.1.1.1,239.1.1.1)";

TEST(ExpansionAndComparisonFailures, EndInTheirDocumentedErrorAndState) {
  const FailureRow rows[] = {
      {"an unsupported kind or an unresolved VLAN device expands to nothing",
       [](FakeSwitch& sw) {
         link(sw, "vx0", "vxlan");
         link(sw, "swp1.10", "vlan");
         sw.host_cmd("/bin/ip -d link show gone", 1, "");
       },
       [](Asic& a) {
         for (const char* dev : {"vx0", "swp1.10", "gone"}) a._expand_kern_dev("239.1.1.1", dev);
       },
       {},
       [](Asic& a) { EXPECT_TRUE(a.tmp_encaps.empty()); }},
      {"a group that is not a dotted address fails the bridge expansion",
       [](FakeSwitch& sw) { bridge(sw, "br0", 0, {"swp1"}); },
       [](Asic& a) { a._expand_kern_dev("239.1.1", "br0"); },
       {K::kLookup, R"(not a dotted IPv4 group address: "239.1.1")"}},
      {"an IIF member whose VLAN is not decimal",
       [](FakeSwitch&) {},
       [](Asic& a) { a._kern_iif_to_hw_vlan("swp", "swp1", -1, "swp1.x"); },
       {K::kValue, R"(not a decimal integer: "x")"}},
      {"missing port facts give no hardware VLAN",
       [](FakeSwitch&) {},
       [](Asic& a) {
         EXPECT_EQ(a._kern_iif_to_hw_vlan("bond", "bond0", -1, ""), -1);
         EXPECT_EQ(a._kern_iif_to_hw_vlan("swp", "swp9", -1, "swp9"), -1);   // not in the map
         EXPECT_EQ(a._kern_iif_to_hw_vlan("swp", "swp1", -1, "swp1"), -1);   // no port VLAN
         EXPECT_EQ(a._kern_iif_to_hw_vlan("swp", "swp1", 7, "swp1.7"), -1);  // no translation
       },
       {}},
      {"a bond without a bonding directory has no members",
       [](FakeSwitch& sw) { link(sw, "bond0", "bond"); },
       [](Asic& a) { EXPECT_TRUE(a._expand_kern_bond("bond0").empty()); },
       {}},
      {"comparison: an error of an OIF's expansion ends it, earlier messages stay",
       [](FakeSwitch& sw) {
         sw.sdk("ipmc table show", ipmc_listing({"10.1.1.1 239.1.1.1 5 100 0"}));
         sw.host_cmd("/bin/ip -d link show bad0", 0, "1: bad0:\n    link/ether\n\n");
       },
       [](Asic& a) {
         AcceptingChecker c;
         a.mroute_eq(kKey, "swp1", {"bad0"}, c);
       },
       {K::kLookup, "no link kind on the third line of \"ip -d link show bad0\": \"\""},
       [](Asic& a) {
         EXPECT_EQ(a.mroutes.at(kKey).iif_mismatch,
                   std::vector<std::string>{"kernel IIF does not match hw IIF"});
         EXPECT_TRUE(a.mroutes.at(kKey).oil_mismatch.empty());
       }},
      {"comparison: a key without the route-key form is not compared",
       [](FakeSwitch& sw) {
         sw.sdk("ipmc table show", ipmc_listing({"10.1.1.1 239.1.1.1 5 100 0"}));
       },
       [](Asic& a) {
         AcceptingChecker c;
         EXPECT_TRUE(a.mroute_eq("default,(10.1.1.1,239.1.1.1)", "swp1", {"swp2"}, c));
       },
       {},
       [](Asic& a) {
         EXPECT_TRUE(a.mroutes.at(kKey).iif_mismatch.empty());
         EXPECT_TRUE(a.mroutes.at(kKey).oil_mismatch.empty());
       }},
  };
  for (const auto& row : rows) check_row(row);
}

}  // namespace
}  // namespace grpaudit::testing

// Failure rows of the kernel state readers, through a replayed switch.

#include <gtest/gtest.h>

#include "robustness/failure_matrix.h"
#include "support/kern_fixtures.h"

namespace grpaudit::testing {
namespace {

using K = Kind;

// A third line of "ip -d link show" that holds no word.
void no_kind(FakeSwitch& sw, const std::string& dev) {
  sw.host_cmd("/bin/ip -d link show " + dev, 0, "1: " + dev + ":\n    link/ether\n   \t \n");
}

TEST(KernelReaderFailures, EndInTheirDocumentedErrorAndState) {
  const FailureRow rows[] = {
      // --- device cache -----------------------------------------------------
      {"link kind line without a word: not cached",
       [](FakeSwitch& sw) { no_kind(sw, "br0"); },
       [](Asic& a) { a._kern_dev_kind_get("br0"); },
       {K::kLookup, "no link kind on the third line of \"ip -d link show br0\": \"   \t \""},
       [](Asic& a) { EXPECT_FALSE(a.kern_dev_cache.contains("br0")); }},
      {"ip cannot be started: not cached",
       [](FakeSwitch&) {},
       [](Asic& a) { a._kern_dev_kind_get("br0"); },
       {K::kOs, "cannot run /bin/ip: No such file or directory"},
       [](Asic& a) { EXPECT_FALSE(a.kern_dev_cache.contains("br0")); }},

      // --- bridge members ---------------------------------------------------
      {"a port's kind lookup fails: nothing stored for the bridge",
       [](FakeSwitch& sw) {
         bridge(sw, "br0", 0, {"swp1", "bad0"});
         no_kind(sw, "bad0");
       },
       [](Asic& a) { a._kern_get_br_members("br0"); },
       {K::kLookup, "no link kind on the third line of \"ip -d link show bad0\": \"   \t \""},
       [](Asic& a) { EXPECT_FALSE(a.kern_br_cache.contains("br0")); }},

      // --- multicast database -----------------------------------------------
      {"a router port's VLAN listing fails: the port joins no VLAN",
       [](FakeSwitch& sw) {
         bridge(sw, "br0", 1, {});
         sw.host_cmd("/sbin/bridge -d -s mdb show dev br0", 0,
                     "dev br0 port swp1 grp 239.1.1.1 temp vid 10\nrouter ports on br0: swp2\n");
         sw.host_cmd("/sbin/bridge vlan show dev swp2", 255, "swp2 10\n");
       },
       [](Asic& a) {
         ASSERT_NE(a._kern_dev_get_mdb_entry("br0", 10, "01:00:5e:01:01:01"), nullptr);
       },
       {},
       [](Asic& a) {
         EXPECT_TRUE(a.kern_mdb_cache.at("br0").mdb_rports.empty());
         EXPECT_EQ(a.kern_mdb_cache.at("br0").mdb_entries.at("10.01:00:5e:01:01:01").swp,
                   std::vector<std::string>{"swp1"});
       }},
      {"a member port's kind lookup fails: the snapshot keeps the lines before it",
       [](FakeSwitch& sw) {
         bridge(sw, "br0", 0, {});
         no_kind(sw, "bad0");
         sw.host_cmd("/sbin/bridge -d -s mdb show dev br0", 0,
                     "dev br0 port swp1 grp 239.1.1.1 temp\n"
                     "dev br0 port bad0 grp 239.1.1.2 temp\n"
                     "dev br0 port swp1 grp 239.1.1.3 temp\n");
       },
       [](Asic& a) { a._kern_dev_get_mdb_entry("br0", -1, "01:00:5e:01:01:01"); },
       {K::kLookup, "no link kind on the third line of \"ip -d link show bad0\": \"   \t \""},
       [](Asic& a) {
         const auto& entries = a.kern_mdb_cache.at("br0").mdb_entries;
         EXPECT_EQ(entries.at("-1.01:00:5e:01:01:01").swp, std::vector<std::string>{"swp1"});
         EXPECT_TRUE(entries.at("-1.01:00:5e:01:01:02").swp.empty());
         EXPECT_FALSE(entries.contains("-1.01:00:5e:01:01:03"));
         // Asked again, the bridge answers from what was stored.
         EXPECT_NE(a._kern_dev_get_mdb_entry("br0", -1, "01:00:5e:01:01:01"), nullptr);
         EXPECT_EQ(a._kern_dev_get_mdb_entry("br0", -1, "01:00:5e:01:01:03"), nullptr);
       }},
  };
  for (const auto& row : rows) check_row(row);
}

TEST(KernelReaderFailures, UnreadableKernelFilesCountAsEmpty) {
  FakeSwitch sw = base_switch();
  bridge(sw, "br0", 1, {});
  bond(sw, "bond0", "swp1 swp2");
  link(sw, "swp1.10", "vlan");
  vlan_config(sw, {{"swp1.10", 10, "swp1"}});
  const auto cases = std::vector<std::pair<std::string, std::function<void(Asic&)>>>{
      {"/sys/class/net/br0/bridge/vlan_filtering",
       [](Asic& a) { EXPECT_EQ(a._kern_dev_vlan_filtering_get("br0"), 0); }},
      {"/proc/net/vlan/config",
       [](Asic& a) {
         EXPECT_EQ(a._kern_base_dev_kind_get("swp1.10"),
                   (std::tuple<std::string, std::string, std::int64_t>{"vlan", "swp1.10", -1}));
         EXPECT_TRUE(a.kern_vlan_dev_cache_created);
         EXPECT_TRUE(a.kern_vlan_dev_cache.empty());
       }},
      {"/sys/class/net/bond0/bonding/slaves",
       [](Asic& a) { EXPECT_TRUE(a._expand_kern_bond("bond0").empty()); }},
  };
  for (const auto& [path, check] : cases) {
    SCOPED_TRACE(path);
    Platform p = sw.platform();
    p.host = with_unreadable(p.host, path);
    Asic asic(p);
    EXPECT_EQ(outcome_of([&] { check(asic); }), Outcome{});
  }
}

}  // namespace
}  // namespace grpaudit::testing

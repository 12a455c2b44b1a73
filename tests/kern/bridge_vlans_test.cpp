// Bridge VLAN membership from the bridge tool's JSON listing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "grpaudit/check/audit_index.h"
#include "support/kern_fixtures.h"

namespace grpaudit {
namespace {

using ::testing::ElementsAre;
using testing::FakeSwitch;
using ::testing::IsEmpty;
using testing::run_line;
using testing::TracedAsic;
using Names = std::vector<std::string>;

constexpr const char* kListing = "/sbin/bridge -j vlan show";

TEST(KernVlanCache, MembersPerVlanTaggedFirst) {
  FakeSwitch sw;
  sw.port("xe1", "swp1").port("xe2", "swp2").port("xe3", "swp3").port("xe4", "swp4");
  testing::bridge(sw, "br0", 1, {});
  testing::bridge(sw, "br1", 1, {});
  testing::bond(sw, "bond0", "swp3 swp4");
  sw.host_cmd(kListing, 0, R"([
    {"ifname": "br0", "vlans": [{"vlan": 10, "flags": ["PVID", "Egress Untagged"]}, {"vlan": 99}]},
    {"ifname": "swp1", "vlans": [{"vlan": 10, "flags": ["PVID", "Egress Untagged"]}, {"vlan": 20}]},
    {"ifname": "bond0", "vlans": [{"vlan": "10", "flags": ["PVID"]}]},
    {"ifname": "swp2", "vlans": [{"vlan": 10}, {"vlan": 20, "flags": ["Egress Untagged"]}]},
    {"ifname": "br1", "vlans": []},
    {"ifname": "swp1", "vlans": [{"flags": []}], "other": 1}
  ])");
  TracedAsic asic(sw);
  EXPECT_EQ(asic->_kern_get_vlan_members(10), (Names{"swp3", "swp4", "swp2", "swp1"}));
  EXPECT_EQ(asic->_kern_get_vlan_members(20), (Names{"swp1", "swp2"}));
  EXPECT_EQ(asic->_kern_get_vlan_members(0), (Names{"swp1"}));  // no "vlan" member
  EXPECT_THAT(asic->_kern_get_vlan_members(99), IsEmpty());     // the bridge's own VLAN
  EXPECT_EQ(asic->kern_vlan_cache.at(20).str(), "vid: 20\n  tagged: swp1\n  untagged: swp2\n");
  // One listing, one kind lookup per device (br1 has no VLAN to look at), one
  // member-file read per VLAN of the bond.
  EXPECT_THAT(asic.take_trace(),
              ElementsAre(run_line(kListing), run_line("/bin/ip -d link show br0"),
                          testing::read_line("/sys/class/net/br0/bridge/vlan_filtering"),
                          run_line("/bin/ip -d link show bond0"),
                          testing::read_line("/sys/class/net/bond0/bonding/slaves")));
}

// While an audit's indexes exist, VLAN entries are found by ID in a flat
// table: every ID, in its range or not, answers as the map does, also when
// the listing is read only after the indexes were made.
TEST(KernVlanCache, AnAuditsIndexAnswersAsTheMap) {
  FakeSwitch sw;
  sw.port("xe1", "swp1").port("xe2", "swp2");
  sw.host_cmd(kListing, 0, R"([
    {"ifname": "swp1", "vlans": [{"vlan": 0}, {"vlan": 10, "flags": ["Egress Untagged"]},
                                 {"vlan": 4094}, {"vlan": 65535, "flags": ["Egress Untagged"]}]},
    {"ifname": "swp2", "vlans": [{"vlan": 65536, "flags": ["Egress Untagged"]}, {"vlan": -3},
                                 {"vlan": "70000", "flags": ["Egress Untagged"]}, {"vlan": 10}]}
  ])");
  const std::int64_t vids[] = {-3, -1, 0, 1, 10, 11, 4094, 4095, 65535, 65536, 70000, 1LL << 40};
  std::vector<bool> plain;
  {
    TracedAsic asic(sw);
    for (const std::int64_t vid : vids) {
      for (const char* port : {"swp1", "swp2"}) {
        plain.push_back(asic->_kern_is_untagged_vlan_member(vid, port));
      }
    }
  }
  TracedAsic asic(sw);
  asic->_kern_create_vlan_cache();
  const check::AuditIndex index(asic->replication_groups);
  std::vector<bool> indexed;
  for (const std::int64_t vid : vids) {
    for (const std::string port : {"swp1", "swp2"}) {
      const KernVlanEntry* entry = index.kern_vlan(vid, asic->kern_vlan_cache);
      indexed.push_back(entry != nullptr && std::count(entry->untagged_swp.begin(),
                                                       entry->untagged_swp.end(), port) > 0);
    }
  }
  EXPECT_EQ(indexed, plain);
  EXPECT_EQ(std::count(plain.begin(), plain.end(), true), 4);
  EXPECT_EQ(asic.take_trace().front(), run_line(kListing));
}

TEST(KernVlanCache, FailedListingIsEmpty) {
  FakeSwitch sw;
  sw.host_cmd(kListing, 255, "[{\"ifname\": \"swp1\", \"vlans\": [{\"vlan\": 1}]}]");
  TracedAsic asic(sw);
  EXPECT_THAT(asic->_kern_get_vlan_members(1), IsEmpty());
  EXPECT_THAT(asic->_kern_get_vlan_members(2), IsEmpty());
  EXPECT_THAT(asic.take_trace(), ElementsAre(run_line(kListing, 255)));
}

TEST(KernVlanCache, BadListingsFailOnceAndKeepWhatWasStored) {
  const std::string good = R"({"ifname": "swp1", "vlans": [{"vlan": 5}]})";
  const struct {
    std::string listing;
    bool json_error;  // else a value error
  } cases[] = {
      {"not json", true},
      {R"({"ifname": "swp1"})", true},
      {"[" + good + R"(, {"ifname": "swp2"}])", true},
      {"[" + good + R"(, {"ifname": "swp2", "vlans": {"vlan": 6}}])", true},
      {"[" + good + R"(, {"ifname": "swp2", "vlans": [{"vlan": 6, "flags": "PVID"}]}])", true},
      {"[" + good + R"(, {"ifname": "swp2", "vlans": [{"vlan": "six"}]}])", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.listing);
    FakeSwitch sw;
    sw.port("xe1", "swp1").port("xe2", "swp2");
    sw.host_cmd(kListing, 0, c.listing);
    TracedAsic asic(sw);
    if (c.json_error) {
      EXPECT_THROW(asic->_kern_get_vlan_members(5), nlohmann::json::exception);
    } else {
      EXPECT_THROW(asic->_kern_get_vlan_members(5), std::invalid_argument);
    }
    EXPECT_TRUE(asic->kern_vlan_cache_created);
    const Names kept = c.listing[0] == '[' ? Names{"swp1"} : Names{};
    EXPECT_EQ(asic->_kern_get_vlan_members(5), kept);
    EXPECT_EQ(asic.take_trace().size(), 1u);
  }
}

}  // namespace
}  // namespace grpaudit

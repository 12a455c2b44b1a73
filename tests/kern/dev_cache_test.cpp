// The kernel device cache and VLAN device resolution, against a fake switch.

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

TEST(KernDevCache, KindOfEachDeviceAndWhatItCostsOnce) {
  FakeSwitch sw;
  sw.port("xe0", "swp1").port("xe1", "odd/port");
  testing::link(sw, "swp1", "bond");  // the port table wins: never asked
  testing::bridge(sw, "br0", 1, {});
  testing::link(sw, "vx0", "vxlan");
  sw.host_cmd("/bin/ip -d link show gone", 1, "Device \"gone\" does not exist.\n");
  sw.host_cmd("/bin/ip -d link show said", 0, "Device \"said\" does not exist.\n2\n3 bond\n");
  sw.host_cmd("/bin/ip -d link show short", 0, "1: short: <UP>\n    link/none\n");
  sw.file("/sys/class/net/swp1/bridge/vlan_filtering", "0x1\n");  // looked at for every kind

  const struct {
    std::string dev, kind;
    std::int64_t vlan_filtering;
    std::vector<std::string> trace;
  } cases[] = {
      {"swp1", "swp", 1, {read_line("/sys/class/net/swp1/bridge/vlan_filtering")}},
      {"odd/port", "swp", 0, {}},
      {"br0",
       "bridge",
       1,
       {run_line("/bin/ip -d link show br0"),
        read_line("/sys/class/net/br0/bridge/vlan_filtering")}},
      {"vx0", "vxlan", 0, {run_line("/bin/ip -d link show vx0")}},
      {"gone", "unk", 0, {run_line("/bin/ip -d link show gone", 1)}},
      {"said", "unk", 0, {run_line("/bin/ip -d link show said")}},
      {"short", "unk", 0, {run_line("/bin/ip -d link show short")}},
      // Names the kernel cannot have: nothing is run or read for them.
      {"a/b", "unk", 0, {}},
      {".", "unk", 0, {}},
      {"..", "unk", 0, {}},
  };
  TracedAsic asic(sw);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dev);
    EXPECT_EQ(asic->_kern_dev_kind_get(c.dev), c.kind);
    EXPECT_EQ(asic->_kern_dev_vlan_filtering_get(c.dev), c.vlan_filtering);
    EXPECT_EQ(asic.take_trace(), c.trace);
    EXPECT_EQ(asic->_kern_dev_cache_get(c.dev).str(),
              c.dev + ": kind: " + c.kind + " vlan_filtering: " + std::to_string(c.vlan_filtering) +
                  "\n");
    EXPECT_THAT(asic.take_trace(), IsEmpty());
  }
}

TEST(KernDevCache, MalformedKernelAnswersRaiseNamingTheText) {
  FakeSwitch sw;
  sw.host_cmd("/bin/ip -d link show br0", 0, "1: br0:\n    link/ether\n   \t \n");
  testing::bridge(sw, "br1", 0, {});
  sw.file("/sys/class/net/br1/bridge/vlan_filtering", "on\n");
  TracedAsic asic(sw);
  EXPECT_THROW(asic->_kern_dev_kind_get("br0"), std::out_of_range);
  EXPECT_FALSE(asic->kern_dev_cache.contains("br0"));
  try {
    asic->_kern_dev_vlan_filtering_get("br1");
    FAIL() << "accepted a VLAN-filtering flag that is not an integer";
  } catch (const std::invalid_argument& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("\"on\""));
  }
}

TEST(KernDevCache, ResolvesOneLevelOfVlanDevice) {
  FakeSwitch sw;
  sw.port("xe0", "swp2s0");
  testing::bridge(sw, "br0", 1, {});
  for (const char* dev : {"swp2s0.200", "my111", "zero", "unlisted", "swp2s0.200.7"}) {
    testing::link(sw, dev, "vlan");
  }
  testing::vlan_config(sw, {{"swp2s0.200", 200, "swp2s0"},
                            {"my111", 111, "br0"},
                            {"zero", 0, "swp2s0"},
                            {"swp2s0.200.7", 7, "swp2s0.200"}});
  using Base = std::tuple<std::string, std::string, std::int64_t>;
  const struct {
    std::string dev;
    std::int64_t parent_vlan;
    Base base;
  } cases[] = {
      {"swp2s0", -1, {"swp", "swp2s0", -1}},
      {"swp2s0.200", 5, {"swp", "swp2s0", 200}},  // the device's own VID wins
      {"my111", -1, {"bridge", "br0", 111}},
      {"br0", 10, {"bridge", "br0", 10}},
      {"zero", 5, {"vlan", "zero", 5}},  // VID 0 is no VLAN
      {"unlisted", 6, {"vlan", "unlisted", 6}},
      {"swp2s0.200.7", -1, {"vlan", "swp2s0.200", 7}},  // one level only
  };
  TracedAsic asic(sw);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dev);
    EXPECT_EQ(asic->_kern_base_dev_kind_get(c.dev, c.parent_vlan), c.base);
  }
  const auto trace = asic.take_trace();
  EXPECT_EQ(std::count(trace.begin(), trace.end(), read_line("/proc/net/vlan/config")), 1);
  EXPECT_EQ(asic->_kern_get_vlan_and_atlink("my111"),
            (std::pair<std::optional<std::int64_t>, std::optional<std::string>>{111, "br0"}));
  EXPECT_EQ(asic->_kern_get_vlan_and_atlink("swp2s0").first, std::nullopt);
}

// Every route asks for the base device of each of its interfaces: the answer
// is remembered, follows the parent VLAN of each question, and is worked out
// again once the caches were emptied from outside.
TEST(KernDevCache, BaseDeviceRememberedUntilTheCachesAreEmptied) {
  FakeSwitch sw;
  sw.port("xe0", "swp3");
  testing::bridge(sw, "br0", 1, {});
  testing::link(sw, "v100", "vlan");
  testing::link(sw, "plain", "vxlan");
  testing::vlan_config(sw, {{"v100", 100, "br0"}});
  using Base = std::tuple<std::string, std::string, std::int64_t>;
  TracedAsic asic(sw);
  EXPECT_EQ(asic->_kern_base_dev_kind_get("v100", 7), (Base{"bridge", "br0", 100}));
  EXPECT_EQ(asic->_kern_base_dev_kind_get("plain", 7), (Base{"vxlan", "plain", 7}));
  EXPECT_THAT(asic.take_trace(), ::testing::Not(IsEmpty()));

  EXPECT_EQ(asic->_kern_base_dev_kind_get("v100", 9), (Base{"bridge", "br0", 100}));
  EXPECT_EQ(asic->_kern_base_dev_kind_get("plain", -1), (Base{"vxlan", "plain", -1}));
  EXPECT_EQ(asic->_kern_base_dev_kind_get("plain", 12), (Base{"vxlan", "plain", 12}));
  EXPECT_THAT(asic.take_trace(), IsEmpty());

  // Emptied from outside: the kernel is asked again.
  asic->kern_dev_cache.clear();
  EXPECT_EQ(asic->_kern_base_dev_kind_get("plain", 3), (Base{"vxlan", "plain", 3}));
  EXPECT_THAT(asic.take_trace(), ::testing::Contains(run_line("/bin/ip -d link show plain")));
}

TEST(KernVlanDevCache, TableVariants) {
  const struct {
    const char* name;
    std::optional<std::string> file;
    std::map<std::string, std::string> expected;  // device to its text form
  } cases[] = {
      {"missing file", std::nullopt, {}},
      {"headers only", "VLAN Dev name | VLAN ID\nName-Type: RAW\n", {}},
      {"padded fields, short lines skipped, last line wins",
       "VLAN Dev name | VLAN ID\nName-Type: RAW\n"
       "swp2s0.200     | 200  | swp2s0\n"
       "no bars here\n"
       "one | bar\n"
       "my111  | 111 | br0 | extra\r\n"
       "swp2s0.200     | 201  | swp2s1\n",
       {{"my111", "dev: my111 vid: 111 atlink: br0"},
        {"swp2s0.200", "dev: swp2s0.200 vid: 201 atlink: swp2s1"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSwitch sw;
    if (c.file) sw.file("/proc/net/vlan/config", *c.file);
    TracedAsic asic(sw);
    asic->_kern_get_vlan_and_atlink("x");
    asic->_kern_get_vlan_and_atlink("y");
    std::map<std::string, std::string> got;
    for (const auto& [dev, e] : asic->kern_vlan_dev_cache) got[dev] = e.str();
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(asic.take_trace().size(), c.file ? 1u : 0u);
  }
}

TEST(KernVlanDevCache, BadVlanIdKeepsEarlierRowsAndIsNotRetried) {
  FakeSwitch sw;
  sw.file("/proc/net/vlan/config",
          "h1\nh2\nswp1.10 | 10 | swp1\nswp1.x | ten | swp1\nswp1.20 | 20 | swp1\n");
  TracedAsic asic(sw);
  try {
    asic->_kern_get_vlan_and_atlink("swp1.20");
    FAIL() << "accepted a VLAN id that is not a number";
  } catch (const std::invalid_argument& e) {
    EXPECT_THAT(e.what(), ::testing::HasSubstr("\"ten\""));
  }
  EXPECT_TRUE(asic->kern_vlan_dev_cache_created);
  EXPECT_EQ(asic->_kern_get_vlan_and_atlink("swp1.10").first, 10);
  EXPECT_EQ(asic->_kern_get_vlan_and_atlink("swp1.20").first, std::nullopt);
  EXPECT_THAT(asic.take_trace(), ElementsAre(read_line("/proc/net/vlan/config")));
}

}  // namespace
}  // namespace grpaudit

#include "grpaudit/hw/l3_intf.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <system_error>

#include "grpaudit/asic/asic.h"
#include "support/fake_switch.h"

namespace grpaudit::hw {
namespace {

using testing::FakeSwitch;
using testing::TracedSwitch;
using IdMap = std::map<std::int64_t, std::int64_t>;

IdMap intfs(std::string_view text) {
  IdMap m;
  parse_l3_intf(text, m);
  return m;
}

TEST(L3Intf, ColumnsFromTheSecondLineRowsFromTheFourth) {
  EXPECT_EQ(intfs(testing::l3_intf_listing({"0  5  0  0  100  44:38:39:00:00:01  9216",
                                            "0  6  0  0  200", "0  5  0  0  101"})),
            (IdMap{{5, 101}, {6, 200}}));
  // Positions are the titles' own: no correction.
  EXPECT_EQ(intfs("x\na VLAN b Intf\n--\nx 10 y 1\nx 20 y 2\n\n"), (IdMap{{1, 10}, {2, 20}}));
  EXPECT_EQ(intfs("x\nUnit Intf VRF Group VLAN\n--\n"), IdMap{});
}

TEST(L3Intf, MalformedListingsFail) {
  const std::string head = "x\nUnit Intf VRF Group VLAN\n--\n";
  for (const std::string& text :
       std::vector<std::string>{"", "Unit Intf VRF Group VLAN\n", "x\nUnit Intf VRF Group\n",
                                "x\nunit intf vrf group vlan\n", head + "0 5 0 0\n"}) {
    EXPECT_THROW(intfs(text), std::out_of_range) << text;
  }
  EXPECT_THROW(intfs(head + "0 x5 0 0 100\n"), std::invalid_argument);
  EXPECT_THROW(intfs(head + "0 5 0 0 0x64\n"), std::invalid_argument);
}

TEST(L3IntfNhi, NextHopLinesMapIndexToInterface) {
  IdMap m;
  parse_l3_intf_nhi(
      "mroute debug info\n"
      "intf 12 vlan 100 nhi 103 mac 44:38:39:00:00:01\n"
      "intf 13 vlan 100 nhi\n"         // five words
      "intf 14 vlan 100 hop 104 x\n"   // no "nhi"
      "x 15 x x xnhix 105\n"           // "nhi" inside a word counts
      "intf 16 vlan 100 nhi 103\r\n",  // later index wins
      m);
  EXPECT_EQ(m, (IdMap{{103, 16}, {105, 15}}));
  EXPECT_THROW(parse_l3_intf_nhi("intf 12 vlan 100 nhi 0x67\n", m), std::invalid_argument);
  EXPECT_THROW(parse_l3_intf_nhi("intf twelve vlan 100 nhi 103\n", m), std::invalid_argument);
}

TEST(L3Egress, FirstRowWithTheIdAndNothingPastIt) {
  const std::string head =
      "Unit 0\nEntry  Mac  Vlan INTF PORT MOD MPLS_LABEL ToCpu Drop RefCount L3MC\n--\n";
  const std::string rows =
      "100002 44:38:39:00:00:02 4094 2 5 0 -1 no no 1 yes\n"
      "100003 44:38:39:00:00:03 4094 3 6 0 -1 no no 1 no\n"
      "100002 44:38:39:00:00:09 4094 9 9 0 -1 no no 1 no\n";
  using Pair = std::optional<std::pair<std::string, std::string>>;
  EXPECT_EQ(find_l3_egress(head + rows, "100002"), Pair({"44:38:39:00:00:02", "yes"}));
  EXPECT_EQ(find_l3_egress(head + rows, "100003"), Pair({"44:38:39:00:00:03", "no"}));
  EXPECT_EQ(find_l3_egress(head + rows, "100004"), std::nullopt);
  EXPECT_EQ(find_l3_egress(head + rows + "\n", "100002"), Pair({"44:38:39:00:00:02", "yes"}));
  EXPECT_THROW(find_l3_egress(head + "\n" + rows, "100002"), std::out_of_range);
  EXPECT_THROW(find_l3_egress(head + rows + "1 2 3\n", "100004"), std::out_of_range);
}

const std::string kShellLine = R"({"shell":"echo 1 > /quorvex/hwprogd/ctrl/debug"})";
const std::string kCatCmd = "cat /quorvex/hwprogd/debug/mroute/info";

FakeSwitch riot_switch(int cat_status, const std::string& info) {
  FakeSwitch sw;
  sw.sdk("sc L3IngressMode", "0x1\n").sdk("listmem VLAN", "L3_IIF<12:0>\n");
  if (cat_status >= 0) {
    sw.host_cmd(kCatCmd, cat_status, info);
  } else {
    sw.snapshot().host_commands.erase(kCatCmd);
  }
  return sw;
}

std::vector<std::string> host_lines(const TracedSwitch& t) {
  std::vector<std::string> out;
  for (const auto& l : t.lines()) {
    if (l.rfind(R"({"sdk")", 0) != 0) out.push_back(l);
  }
  return out;
}

TEST(L3IntfNhiAsic, ReadBetweenSwitchingTheDebugOutputOnAndBack) {
  const struct {
    int status;
    std::string info;
    IdMap expected;
  } cases[] = {
      {0, "intf 7 vlan 100 nhi 103 x\n", {{103, 7}}},
      {0, "", {}},
      {1, "intf 7 vlan 100 nhi 103 x\n", {}},  // failing cat: nothing
  };
  for (const auto& c : cases) {
    const TracedSwitch traced{riot_switch(c.status, c.info)};
    const Asic asic(traced.platform());
    EXPECT_EQ(asic.l3_intf_nhi, c.expected) << c.info;
    EXPECT_FALSE(asic.qv_mroute_hwprogd_debug_enabled);
    EXPECT_EQ(host_lines(traced),
              (std::vector<std::string>{
                  R"({"run":"ls /quorvex/hwprogd/debug/mroute/info","status":2})",
                  R"({"run":"/usr/bin/twynctl -v","status":null})", kShellLine,
                  R"({"run":")" + kCatCmd + R"(","status":)" + std::to_string(c.status) + "}",
                  kShellLine}));
  }
}

TEST(L3IntfNhiAsic, AFailedReadStillSwitchesTheDebugOutputBack) {
  for (const int status : {0, -1}) {  // a bad next-hop line; a cat that cannot start
    const TracedSwitch traced{riot_switch(status, "intf 7 vlan 100 nhi 10x3 x\n")};
    if (status == 0) {
      EXPECT_THROW(Asic{traced.platform()}, std::invalid_argument);
    } else {
      EXPECT_THROW(Asic{traced.platform()}, std::system_error);
    }
    const auto lines = host_lines(traced);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[2], kShellLine);
    EXPECT_EQ(lines.back(), kShellLine);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kShellLine), 2);
  }
}

TEST(L3EgressAsic, TimeOutIsL3Show) {
  Asic asic(FakeSwitch().platform());
  try {
    asic.get_l3_egress("100002");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "l3 show");
  }
}

}  // namespace
}  // namespace grpaudit::hw

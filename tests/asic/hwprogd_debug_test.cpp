#include <gtest/gtest.h>

#include "grpaudit/asic/asic.h"
#include "support/fake_switch.h"

namespace grpaudit {
namespace {

using testing::FakeSwitch;
using testing::TracedSwitch;

constexpr const char* kProbe = "ls /quorvex/hwprogd/debug/mroute/info";
const std::string kWrite = R"({"shell":"echo 1 > /quorvex/hwprogd/ctrl/debug"})";

std::size_t writes(const TracedSwitch& t) {
  std::size_t n = 0;
  for (const auto& line : t.lines()) n += line == kWrite;
  return n;
}

TEST(HwprogdDebugProbe, TrueOnlyWhenLsPrintsSomething) {
  const struct {
    int status;
    std::string out;
    bool expected;
  } cases[] = {
      {0, "/quorvex/hwprogd/debug/mroute/info\n", true},
      {2, "", false},        // no such file
      {0, "", false},        // an empty directory at the info path
      {1, "junk\n", false},  // output of a failing ls is discarded
  };
  for (const auto& c : cases) {
    FakeSwitch sw;
    sw.host_cmd(kProbe, c.status, c.out);
    Asic asic(sw.platform());
    EXPECT_EQ(asic.hwprogd_debug_enabled, c.expected) << c.out;
    EXPECT_EQ(Asic::get_hwprogd_debug(asic), c.expected) << c.out;
  }
}

TEST(HwprogdDebugSwitch, WritesOnlyWhenThisObjectChangesTheState) {
  enum Op { kEnable, kDisable };
  const struct {
    bool already_on, switched_on;
    Op op;
    std::size_t writes;
  } cases[] = {
      {false, false, kEnable, 1}, {false, false, kDisable, 0}, {false, true, kEnable, 0},
      {false, true, kDisable, 1}, {true, false, kEnable, 0},   {true, false, kDisable, 0},
      {true, true, kEnable, 0},   {true, true, kDisable, 0},
  };
  for (const auto& c : cases) {
    const TracedSwitch traced{FakeSwitch()};
    Asic asic(traced.platform());
    asic.hwprogd_debug_enabled = c.already_on;
    asic.qv_mroute_hwprogd_debug_enabled = c.switched_on;
    if (c.op == kEnable) {
      Asic::enable_hwprogd_debug(asic);
    } else {
      Asic::disable_hwprogd_debug(asic);
    }
    EXPECT_EQ(writes(traced), c.writes) << c.already_on << c.switched_on << c.op;
    EXPECT_EQ(asic.qv_mroute_hwprogd_debug_enabled, c.op == kEnable);
    EXPECT_EQ(asic.hwprogd_debug_enabled, c.already_on);
  }
}

}  // namespace
}  // namespace grpaudit

// Failure rows of the module frame: platform components, the command
// runner, the daemon's debug switch and the MLAG peer check.

#include <gtest/gtest.h>

#include "grpaudit/platform/snapshot.h"
#include "robustness/failure_matrix.h"

namespace grpaudit::testing {
namespace {

using K = Kind;

constexpr const char* kTwyn = "/usr/bin/twynctl -v";

// ORIG_DEV is one list for the whole process: every row puts it back.
class OrigDevRestored {
 public:
  OrigDevRestored() : saved_(Asic::ORIG_DEV) {}
  ~OrigDevRestored() { Asic::ORIG_DEV = saved_; }
  const std::vector<std::string>& saved() const { return saved_; }

 private:
  std::vector<std::string> saved_;
};

TEST(FrameFailures, EndInTheirDocumentedErrorAndState) {
  const OrigDevRestored orig_dev;
  const auto unchanged = [&](Asic&) { EXPECT_EQ(Asic::ORIG_DEV, orig_dev.saved()); };
  const FailureRow rows[] = {
      {"a command that cannot be started reaches the caller",
       [](FakeSwitch&) {},
       [](Asic& a) {
         a._get_cmd_output({"/bin/nonexistent", "-x"}, "");
       },
       {K::kOs, "cannot run /bin/nonexistent: No such file or directory"}},
      {"a command's non-zero exit gives the fallback, whatever it printed",
       [](FakeSwitch& sw) { sw.host_cmd("/bin/x -y", 1, "printed\n"); },
       [](Asic& a) {
         EXPECT_EQ(a._get_cmd_output({"/bin/x", "-y"}, "{}"), "{}");
         EXPECT_EQ(a._get_cmd_output({"/bin/x", "-y"}), std::nullopt);
       },
       {}},
      {"MLAG tool missing: ignored",
       [](FakeSwitch&) {},
       [](Asic& a) { a.mroute_twyn_check_and_get_orig_dev(); },
       {},
       unchanged,
       true},
      {"MLAG tool exits non-zero: nothing added",
       [](FakeSwitch& sw) {
         sw.host_cmd(kTwyn, 1, "The peer is alive\nPeer Interface and IP: peerlink 10.0.0.2\n");
       },
       [](Asic& a) { a.mroute_twyn_check_and_get_orig_dev(); },
       {},
       unchanged,
       true},
      {"MLAG tool prints nothing: nothing added",
       [](FakeSwitch& sw) { sw.host_cmd(kTwyn, 0, ""); },
       [](Asic& a) { a.mroute_twyn_check_and_get_orig_dev(); },
       {},
       unchanged,
       true},
      {"MLAG peer not alive: nothing added",
       [](FakeSwitch& sw) {
         sw.host_cmd(kTwyn, 0, "The peer is not alive\nPeer Interface and IP: peerlink 10.0.0.2\n");
       },
       [](Asic& a) { a.mroute_twyn_check_and_get_orig_dev(); },
       {},
       unchanged,
       true},
      {"MLAG peer line of fewer than five words ends construction",
       [](FakeSwitch& sw) { sw.host_cmd(kTwyn, 0, "The peer is alive\nPeer Interface and IP:\n"); },
       [](Asic& a) { a.mroute_twyn_check_and_get_orig_dev(); },
       {K::kLookup, R"(MLAG peer line has no interface: "Peer Interface and IP:")"},
       unchanged,
       true},
  };
  for (const auto& row : rows) check_row(row);
}

TEST(FrameFailures, PlatformComponentsAndTheDebugSwitch) {
  // No SDK shell on this system: construction fails at that step.
  Platform p = base_switch().platform();
  p.sdk_shell = nullptr;
  EXPECT_EQ(outcome_of([&] { Asic asic(p); }), (Outcome{K::kRuntime, "platform has no SDK shell"}));

  // A debug switch the daemon's control file refuses is not noticed: the
  // flag is set as if the write had worked.
  Platform failing = base_switch().platform();
  failing.host = with_unreadable(failing.host, "");
  Asic asic(failing);
  Asic::enable_hwprogd_debug(asic);
  EXPECT_TRUE(asic.qv_mroute_hwprogd_debug_enabled);
  Asic::disable_hwprogd_debug(asic);
  EXPECT_FALSE(asic.qv_mroute_hwprogd_debug_enabled);
}

}  // namespace
}  // namespace grpaudit::testing

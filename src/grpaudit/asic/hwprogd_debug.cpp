// The forwarding daemon's mroute debug output. It is probed once at
// construction and switched on around the next-hop read; only the object that
// switched it on switches it back, so a daemon that had it on already is left
// as it was.

#include <string>
#include <string_view>
#include <vector>

#include "grpaudit/asic/asic.h"
#include "grpaudit/util/text.h"

namespace grpaudit {
namespace {

constexpr std::string_view kProbeCmd = "ls /quorvex/hwprogd/debug/mroute/info";
// The control file takes the same write to switch either way.
constexpr std::string_view kSwitchCmd = "echo 1 > /quorvex/hwprogd/ctrl/debug";

}  // namespace

bool Asic::get_hwprogd_debug(Asic& asic) {
  const auto words = util::split_ws(kProbeCmd);
  const std::vector<std::string> argv(words.begin(), words.end());
  // A missing info file makes ls exit non-zero, which gives the empty text.
  const std::string out = asic._get_cmd_output(argv, "");
  return !util::split_lines(out).empty();
}

void Asic::enable_hwprogd_debug(Asic& asic) {
  if (!asic.hwprogd_debug_enabled && !asic.qv_mroute_hwprogd_debug_enabled) {
    asic.host()->run_shell(std::string(kSwitchCmd));  // status ignored: nothing to do about it
  }
  asic.qv_mroute_hwprogd_debug_enabled = true;
}

void Asic::disable_hwprogd_debug(Asic& asic) {
  if (!asic.hwprogd_debug_enabled && asic.qv_mroute_hwprogd_debug_enabled) {
    asic.host()->run_shell(std::string(kSwitchCmd));
  }
  asic.qv_mroute_hwprogd_debug_enabled = false;
}

}  // namespace grpaudit

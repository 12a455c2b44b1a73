// On one half of an MLAG pair, routes arriving from the peer over the peer
// link count as routes the switch originates itself.

#include <system_error>

#include "grpaudit/asic/asic.h"
#include "grpaudit/util/text.h"

namespace grpaudit {

void Asic::mroute_twyn_check_and_get_orig_dev() {
  const std::vector<std::string> cmd{"/usr/bin/twynctl", "-v"};
  std::string dispStrTwyn;
  try {
    dispStrTwyn = _get_cmd_output(cmd, "");
  } catch (const std::system_error& e) {
    // No MLAG control tool: not an MLAG switch. One that hangs is another
    // matter: routes from a live peer would be reported as faults.
    if (e.code() == std::errc::timed_out)
      warnings_.add(std::string(e.what()) + "; the MLAG peer is taken as down");
    return;
  } catch (const std::exception&) {
    return;
  }
  if (dispStrTwyn.empty()) return;
  const auto lines = util::split_lines(dispStrTwyn);
  if (lines.empty() || lines[0] != "The peer is alive") return;
  for (const auto line : lines) {
    if (!util::contains(line, "Peer Interface and IP:")) continue;
    const auto words = util::split_ws(line);
    if (words.size() < 5) {
      throw std::out_of_range("MLAG peer line has no interface: " + util::quote(line));
    }
    ORIG_DEV.emplace_back(words[4]);
    return;
  }
}

}  // namespace grpaudit

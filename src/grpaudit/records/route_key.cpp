#include "grpaudit/records/route_key.h"

#include "grpaudit/util/regex.h"

namespace grpaudit {

std::string make_route_key(std::string_view vrf, std::string_view sip, std::string_view dip) {
  std::string key;
  key.reserve(vrf.size() + sip.size() + dip.size() + 5);
  key.append(vrf).append(", (").append(sip).append(1, ',').append(dip).append(1, ')');
  return key;
}

RouteKeyParts split_route_key(std::string_view key) {
  static const util::Regex re(R"((?P<vrf>\S+), \((?P<sip>\S+),(?P<dip>\S+)\))",
                              util::Regex::Mode::kAnchored);
  const auto m = re.match(key);
  if (!m) return {};
  return {std::string((*m)["vrf"]), std::string((*m)["sip"]), std::string((*m)["dip"])};
}

std::string not_a_route_key(std::string_view key) {
  return "not a route key: \"" + std::string(key) + "\" (expected \"VRF, (SOURCE,GROUP)\")";
}

}  // namespace grpaudit

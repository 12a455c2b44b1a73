#include "grpaudit/hw/vlan.h"

#include "grpaudit/hw/fields.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {

std::optional<VlanUntagged> parse_vlan_show(std::string_view text) {
  static const util::Regex re(R"(vlan (?P<vlan>\d+).*untagged (?P<ports>\S+))",
                              util::Regex::Mode::kSearch);
  const auto m = re.match(text);
  if (!m) return std::nullopt;
  return VlanUntagged{util::parse_dec((*m)["vlan"]), std::string((*m)["ports"])};
}

std::optional<std::vector<std::string>> parse_port_names(std::string_view text) {
  const auto lines = util::split_lines(text);
  if (lines.size() <= 2) return std::nullopt;
  std::vector<std::string> names;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const std::string_view port = field_at(util::split_ws(lines[i]), 0, lines[i]);
    names.emplace_back(port.substr(0, port.find('(')));
  }
  return names;
}

}  // namespace grpaudit::hw

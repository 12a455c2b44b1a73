#include "grpaudit/hw/vlan.h"

#include <fmt/format.h>

#include "grpaudit/asic/asic.h"
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

namespace grpaudit {

void Asic::_parse_vlan(std::int64_t vid) {
  const std::string vlan_cmd = fmt::format("vlan show {}", vid);
  const auto untagged = hw::parse_vlan_show(*sdk_run(vlan_cmd, vlan_cmd));
  std::optional<std::vector<std::string>> ports;
  if (untagged) {
    const std::string ports_cmd = "ports " + untagged->ports;
    ports = hw::parse_port_names(*sdk_run(ports_cmd, ports_cmd));
  }
  if (!ports) {
    // The table does not change while this object lives: asking again would
    // only repeat the same two commands.
    vlans_without_entry.insert(vid);
    index_vlan(vid, &kVlanWithoutEntry);
    return;
  }
  const auto stored = vlans.insert_or_assign(vlan_hint(untagged->vlan), untagged->vlan,
                                             VlanEntry(untagged->vlan, std::move(*ports)));
  index_vlan(stored->first, &stored->second, stored);
}

}  // namespace grpaudit

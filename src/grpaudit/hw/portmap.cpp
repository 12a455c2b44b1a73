#include "grpaudit/hw/portmap.h"

#include <optional>
#include <stdexcept>

#include "grpaudit/hw/fields.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {

bool is_1g_chip(std::string_view show_unit) {
  return util::contains(show_unit, "56340");
}

void parse_portmap(std::string_view text, const LinuxNameFn& bcm2linux,
                   std::vector<PortmapEntry>& portmap) {
  const auto lines = util::split_lines(text);
  if (lines.size() < 2 || util::contains(lines[0], "Error")) {
    throw std::runtime_error("show portmap is not supported on this chip");
  }
  const Words title = util::split_ws(lines[0]);
  std::int64_t logical_index = -1;
  for (std::size_t i = 0; i < title.size(); ++i) {
    if (title[i] == "logical") {
      // The port name column of a row has no title.
      logical_index = static_cast<std::int64_t>(i) + 1;
      break;
    }
  }
  if (logical_index < 0) throw std::runtime_error("show portmap format unexpected");

  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const Words port_cols = util::split_ws(line);
    std::string dport(field_at(port_cols, 0, line));
    const std::int64_t logical_port = util::parse_dec(field_at(port_cols, logical_index, line));
    std::optional<std::string> linux_port;
    try {
      linux_port = bcm2linux(dport);
    } catch (...) {
      // A port the port table cannot name is still a port of the ASIC.
      linux_port.reset();
    }
    portmap.emplace_back(std::move(dport), logical_port, std::move(linux_port));
  }
}

void parse_pvlan_show(std::string_view text, const PortVidFn& set_port_vid) {
  static const util::Regex re(R"(Port (?P<port>\S+) default VLAN is (?P<vlan>\d+))",
                              util::Regex::Mode::kAnchored);
  for (const std::string_view line : util::Lines(text)) {
    const auto m = re.match(line);
    if (!m) continue;
    const std::int64_t port_vid = util::parse_dec((*m)["vlan"]);
    set_port_vid(std::string((*m)["port"]), port_vid);
  }
}

}  // namespace grpaudit::hw

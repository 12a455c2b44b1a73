#include "grpaudit/hw/l3_intf.h"

#include <stdexcept>
#include <vector>

#include "grpaudit/hw/fields.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {

void parse_l3_intf(std::string_view text, std::map<std::int64_t, std::int64_t>& l3_intfs) {
  const auto lines = util::split_lines(text);
  if (lines.size() < 2) {
    throw std::out_of_range("l3 intf show printed no header line: " + util::quote(text));
  }
  const std::string_view header = lines[1];
  const Words title = util::split_ws(header);
  const std::int64_t intf_index = header_index(title, "Intf", header);
  const std::int64_t vlan_index = header_index(title, "VLAN", header);
  Words l3_intf;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    util::split_ws(line, l3_intf);
    if (static_cast<std::int64_t>(l3_intf.size()) < vlan_index) continue;
    const std::int64_t intf = util::parse_dec(field_at(l3_intf, intf_index, line));
    const std::int64_t vlan = util::parse_dec(field_at(l3_intf, vlan_index, line));
    l3_intfs.insert_or_assign(intf, vlan);
  }
}

void parse_l3_intf_nhi(std::string_view text, std::map<std::int64_t, std::int64_t>& l3_intf_nhi) {
  Words nhi_output;
  for (const std::string_view line : util::Lines(text)) {
    if (!util::contains(line, "nhi")) continue;
    util::split_ws(line, nhi_output);
    if (nhi_output.size() < 6) continue;
    const std::int64_t nhi = util::parse_dec(nhi_output[5]);
    const std::int64_t intf = util::parse_dec(nhi_output[1]);
    l3_intf_nhi.insert_or_assign(nhi, intf);
  }
}

std::optional<std::pair<std::string, std::string>> find_l3_egress(std::string_view text,
                                                                  std::string_view intf) {
  const auto lines = util::split_lines(text);
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const Words l3_egress = util::split_ws(line);
    const std::string_view l3_intf = field_at(l3_egress, 0, line);
    const std::string_view mac = field_at(l3_egress, 1, line);
    const std::string_view l3_ipmc = field_at(l3_egress, 10, line);
    if (l3_intf == intf) return std::make_pair(std::string(mac), std::string(l3_ipmc));
  }
  return std::nullopt;
}

}  // namespace grpaudit::hw

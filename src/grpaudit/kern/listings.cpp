#include "grpaudit/kern/listings.h"

#include <fmt/format.h>

#include <stdexcept>

#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit::kern {

std::string link_kind(std::string_view ip_link_show, std::string_view dev) {
  const auto lines = util::split_lines(ip_link_show);
  if (lines.size() < 3 || util::contains(lines[0], "does not exist")) return "unk";
  // The detailed listing names the link kind first on its third line.
  const std::string_view kind = util::first_word(lines[2]);
  if (kind.empty()) {
    throw std::out_of_range(
        fmt::format("no link kind on the third line of \"ip -d link show {}\": {}", dev,
                    util::quote(lines[2])));
  }
  return std::string(kind);
}

std::int64_t vlan_filtering_value(std::string_view file) {
  std::int64_t value = 0;
  for (const auto line : util::split_lines(file)) value = util::parse_int_auto(util::strip(line));
  return value;
}

void read_vlan_dev_config(std::string_view text,
                          const std::function<void(std::string_view dev, std::int64_t vid,
                                                   std::string_view atlink)>& entry) {
  std::size_t index = 0;
  for (const auto line : util::Lines(text)) {
    if (index++ < 2) continue;
    // The first three pieces of the line at "|"; a line with fewer is skipped.
    const std::size_t bar1 = line.find('|');
    if (bar1 == std::string_view::npos) continue;
    const std::size_t bar2 = line.find('|', bar1 + 1);
    if (bar2 == std::string_view::npos) continue;
    const std::size_t bar3 = line.find('|', bar2 + 1);
    const std::string_view dev = util::strip(line.substr(0, bar1));
    const std::int64_t vid = util::parse_dec(util::strip(line.substr(bar1 + 1, bar2 - bar1 - 1)));
    const std::string_view atlink =
        util::strip(line.substr(bar2 + 1, bar3 == std::string_view::npos ? bar3 : bar3 - bar2 - 1));
    entry(dev, vid, atlink);
  }
}

void read_port_vlans(std::string_view bridge_vlan_show,
                     const std::function<void(std::int64_t)>& vlan) {
  std::vector<std::string_view> fields;
  for (const auto line : util::Lines(bridge_vlan_show)) {
    util::split_at(line, " ", fields);
    if (fields.size() == 1 || !util::is_digits(fields[1])) continue;
    vlan(util::parse_dec(fields[1]));
  }
}

std::vector<std::string> bond_slaves(std::string_view file) {
  std::vector<std::string> names;
  for (const auto line : util::split_lines(file)) {
    for (const auto word : util::split_ws(util::strip(line))) names.emplace_back(word);
  }
  return names;
}

}  // namespace grpaudit::kern

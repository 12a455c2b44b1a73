#pragma once
// Reader of one VLAN's untagged member ports: "vlan show <vid>" names the
// untagged port list, and "ports <list>" expands it into SDK port names.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace grpaudit::hw {

struct VlanUntagged {
  std::int64_t vlan;  // the VLAN number the shell printed
  std::string ports;  // its untagged port list, as printed ("xe0-xe3")
};

// The first "vlan N ... untagged LIST" of `text` (VLAN number and the word
// "untagged" on one line; the last "untagged " of that line counts), or none.
std::optional<VlanUntagged> parse_vlan_show(std::string_view text);

// SDK port names of a "ports" listing: the first word of every line after the
// two header lines, cut at its first "(". None when there is no row. A blank
// row is std::out_of_range.
std::optional<std::vector<std::string>> parse_port_names(std::string_view text);

}  // namespace grpaudit::hw

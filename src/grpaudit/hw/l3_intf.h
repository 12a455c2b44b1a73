#pragma once
// Readers of the L3 interfaces: "l3 intf show" (interface to VLAN), the
// forwarding daemon's next-hop lines (next-hop index to interface, RIOT
// mode) and the "l3 egress show" lookup.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace grpaudit::hw {

// Stores the VLAN of every row under its interface id; a later row wins. The
// header is the second line (columns "Intf" and "VLAN"), rows start at the
// fourth. Fewer than two lines, a missing title or a short row is
// std::out_of_range; a non-decimal id std::invalid_argument.
void parse_l3_intf(std::string_view text, std::map<std::int64_t, std::int64_t>& l3_intfs);

// Stores word 1 (the L3 interface) under word 5 (the next-hop index) of every
// line that contains "nhi" and has at least six words; a later line wins.
void parse_l3_intf_nhi(std::string_view text, std::map<std::int64_t, std::int64_t>& l3_intf_nhi);

// (MAC, L3 multicast field) of the first row after three leading lines whose
// first word is `intf`, or none. Every row up to the match must have eleven
// words (std::out_of_range otherwise).
std::optional<std::pair<std::string, std::string>> find_l3_egress(std::string_view text,
                                                                  std::string_view intf);

}  // namespace grpaudit::hw

#pragma once
// Reader of the raw IPv4 multicast entries of the ASIC's L3 entry memory
// ("dump chg l3_entry_ipv4_multicast"): the slower alternative to the route
// listing, filling the same route map.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "grpaudit/hw/ipmc_table.h"
#include "grpaudit/records/hw_records.h"

namespace grpaudit::hw {

// (entry index, field name to value) of one dump line: the first
// "[INDEX]: <NAME=VALUE,...>" anywhere in it. Pieces without "=" are ignored
// and a value ends at its second "=". (none, {}) for a line without one.
using FieldDict = std::pair<std::optional<std::string>, std::map<std::string, std::string>>;
FieldDict field_dict_build(std::string_view entry);

// Adds one Hmroute per valid entry (VALID_0 or VALID_1 non-zero) to
// `mroutes`; a later entry with the same route key wins. A valid entry
// without GROUP_IP_ADDR is std::out_of_range; a field its conversion cannot
// read, or an address beyond 32 bits, std::invalid_argument. Errors of
// `vrf_name` propagate.
void parse_l3_entry_ipmc_table(std::string_view text, const VrfNameFn& vrf_name,
                               std::map<std::string, Hmroute>& mroutes);

}  // namespace grpaudit::hw

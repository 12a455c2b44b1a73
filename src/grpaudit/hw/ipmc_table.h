#pragma once
// Reader of the SDK shell's IP multicast route listing ("ipmc table show").

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "grpaudit/records/hw_records.h"

namespace grpaudit::hw {

using VrfNameFn = std::function<std::string(std::int64_t)>;

// Adds one Hmroute per row of `text` to `mroutes`, keyed by route key; a later
// row with the same key replaces an earlier one. Column positions come from
// the header (the first line); the second line carries no route. Errors of
// the listing (missing header word, short row, bad number) and of `vrf_name`
// propagate.
void parse_ipmc_table(std::string_view text, const VrfNameFn& vrf_name,
                      std::map<std::string, Hmroute>& mroutes);

}  // namespace grpaudit::hw

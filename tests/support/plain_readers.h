#pragma once
// The route readers' plain twins: each listing read line by line and word by
// word as the readers document it, with none of their shortcuts (no bounded
// splits, no batches, no single-pass field scans). Tests hold the readers to
// them.

#include <map>
#include <string>
#include <string_view>

#include "grpaudit/hw/ipmc_table.h"
#include "grpaudit/records/hw_records.h"

namespace grpaudit::testing {

// "ipmc table show", into `mroutes` as parse_ipmc_table fills it.
void plain_ipmc_table(std::string_view text, const hw::VrfNameFn& vrf_name,
                      std::map<std::string, Hmroute>& mroutes);

// "dump chg l3_entry_ipv4_multicast", through field_dict_build for every line.
void plain_l3_entry_table(std::string_view text, const hw::VrfNameFn& vrf_name,
                          std::map<std::string, Hmroute>& mroutes);

// A route map, or the error a reading ended in, as text: what a reader gave,
// to compare with its twin's.
using RouteReader = void (*)(std::string_view, const hw::VrfNameFn&,
                             std::map<std::string, Hmroute>&);
std::string route_reading(RouteReader read, std::string_view text, const hw::VrfNameFn& vrf_name);

}  // namespace grpaudit::testing

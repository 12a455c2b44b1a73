#pragma once
// Reader of the ASIC's VLAN translation table ("vlan translate show").

#include <string_view>
#include <vector>

#include "grpaudit/records/hw_records.h"

namespace grpaudit::hw {

// Appends one VlanXlate per line of `text`, in order: the port from
// "modid = M port = P", the internal VLAN from new_vid and the wire VLAN from
// old_vid, each -1 when the line lacks it. A text holding "ERROR" is an empty
// table. A field without "=" is std::out_of_range, a value that is not
// decimal std::invalid_argument; entries of earlier lines stay appended.
void parse_vlan_xlate(std::string_view text, std::vector<VlanXlate>& vlan_xlate);

}  // namespace grpaudit::hw

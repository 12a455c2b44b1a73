#pragma once
// Routing on VLAN interfaces (RIOT): whether the ASIC runs it, which memory
// table maps a VLAN to its L3 IIF, and reading one VLAN's L3 IIF.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "grpaudit/platform/platform.h"

namespace grpaudit::hw {

// Whether the "sc L3IngressMode" output, a hexadecimal number with optional
// white space around it, is non-zero. Anything else is std::invalid_argument.
bool parse_l3_ingress_mode(std::string_view text);

// "VLAN" when the field listing of the VLAN memory has an L3_IIF field (Td3:
// the VLAN memory carries the mapping), else "VLAN_MPLS".
std::string riot_memtable_from_listmem(std::string_view listmem_vlan);

// The L3_IIF field of the first entry of a table read; std::out_of_range when
// there is no entry or it lacks the field.
std::int64_t l3_iif_of(const std::vector<asicterm::Fields>& entries, std::string_view table,
                       std::int64_t vlan);

}  // namespace grpaudit::hw

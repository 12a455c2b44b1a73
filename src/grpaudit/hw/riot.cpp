#include "grpaudit/hw/riot.h"

#include <stdexcept>

#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {

bool parse_l3_ingress_mode(std::string_view text) {
  return util::parse_hex(util::strip(text)) != 0;
}

std::string riot_memtable_from_listmem(std::string_view listmem_vlan) {
  return util::contains(listmem_vlan, "L3_IIF<") ? "VLAN" : "VLAN_MPLS";
}

std::int64_t l3_iif_of(const std::vector<asicterm::Fields>& entries, std::string_view table,
                       std::int64_t vlan) {
  const std::string where = std::string(table) + " entry " + std::to_string(vlan);
  if (entries.empty()) throw std::out_of_range("no " + where);
  const auto it = entries.front().find("L3_IIF");
  if (it == entries.front().end()) throw std::out_of_range("no field L3_IIF in " + where);
  return it->second;
}

}  // namespace grpaudit::hw

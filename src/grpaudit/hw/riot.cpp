#include "grpaudit/hw/riot.h"

#include <stdexcept>

#include "grpaudit/asic/asic.h"
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

namespace grpaudit {

bool Asic::_is_riot_enabled() {
  return hw::parse_l3_ingress_mode(*sdk_run("sc L3IngressMode", "sc L3IngressMode timed out"));
}

std::string Asic::_get_vlan_riot_memtable_name() {
  if (!riot_enable) return "";
  const std::string cmd = "listmem VLAN";
  return hw::riot_memtable_from_listmem(*sdk_run(cmd, cmd));
}

std::optional<std::int64_t> Asic::_hw_vlan_to_iif(std::int64_t iif_vlan) {
  if (iif_vlan < 0) return std::nullopt;
  if (!riot_enable) return iif_vlan;
  // While an audit runs, every answer given is kept by VLAN ID as well (the
  // map's answers are only added meanwhile), and found there on the next route.
  std::vector<std::optional<std::int64_t>>* flat = nullptr;
  std::size_t slot = 0;
  if (audit_indexes_ != nullptr && iif_vlan < AuditIndexes::kFlatVids) {
    flat = &audit_indexes_->riot_;
    slot = static_cast<std::size_t>(iif_vlan);
    if (slot < flat->size() && (*flat)[slot]) return *(*flat)[slot];
  }
  const auto remember = [&](std::int64_t answer) {
    if (flat == nullptr) return;
    if (slot >= flat->size()) flat->resize(slot + 1);
    (*flat)[slot] = answer;
  };
  if (const auto it = vlan_riot.find(iif_vlan); it != vlan_riot.end()) {
    remember(it->second);
    return it->second;
  }
  const std::int64_t iif = hw::l3_iif_of(bcm->gettable(vlan_riot_memtable, true, iif_vlan, 1),
                                         vlan_riot_memtable, iif_vlan);
  if (const auto [it, added] = vlan_riot.emplace(iif_vlan, iif); added) remember(it->second);
  return iif;
}

}  // namespace grpaudit

#include "grpaudit/hw/ipmc_table.h"

#include <stdexcept>

#include "grpaudit/asic/asic.h"
#include "grpaudit/hw/fields.h"
#include "grpaudit/records/route_key.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {

void parse_ipmc_table(std::string_view text, const VrfNameFn& vrf_name,
                      std::map<std::string, Hmroute>& mroutes) {
  const util::Lines lines(text);
  auto line = lines.begin();
  if (line == lines.end()) throw std::out_of_range("ipmc table show printed no header line");
  const std::string_view header = *line;
  const Words title = util::split_ws(header);

  // An address column is titled with three words ("SRC IP ADDRESS") but holds
  // one, so every column after it sits two words further left in a row.
  constexpr std::int64_t addr_str_len = 2;
  const std::int64_t src_index = header_index(title, "SRC", header);
  const std::int64_t mc_index = header_index(title, "MC", header) - addr_str_len;
  constexpr std::int64_t addr_offset = 2 * addr_str_len;
  const std::int64_t grp_index = header_index(title, "GROUP", header) - addr_offset;
  const std::int64_t vlan_index = header_index(title, "VLAN", header) - addr_offset;
  const std::int64_t vrf_index = header_index(title, "VRF", header) - addr_offset;

  // The line after the header carries no route.
  if (++line != lines.end()) ++line;
  Words ipmc;
  for (; line != lines.end(); ++line) {
    const std::string_view row = *line;
    util::split_ws(row, ipmc);
    if (static_cast<std::int64_t>(ipmc.size()) < grp_index) continue;
    std::string sip(field_at(ipmc, src_index, row));
    std::string dip(field_at(ipmc, mc_index, row));
    const std::int64_t iif = util::parse_dec(field_at(ipmc, vlan_index, row));
    std::string vrf = vrf_name(util::parse_dec(field_at(ipmc, vrf_index, row)));
    const std::int64_t mcast_grp = util::parse_hex(field_at(ipmc, grp_index, row));
    std::string key = make_route_key(vrf, sip, dip);
    mroutes.insert_or_assign(
        std::move(key), Hmroute(std::move(sip), std::move(dip), iif, mcast_grp, std::move(vrf)));
  }
}

}  // namespace grpaudit::hw

namespace grpaudit {

void Asic::_parse_ipmc_table() {
  const auto out = sdk_run("ipmc table show", "ipmc table show timed out");
  hw::parse_ipmc_table(
      *out, [this](std::int64_t id) { return vrf_db->vrf_id2name(id); }, mroutes);
}

}  // namespace grpaudit

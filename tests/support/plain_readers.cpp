#include "support/plain_readers.h"

#include <exception>
#include <stdexcept>
#include <typeinfo>

#include "grpaudit/hw/fields.h"
#include "grpaudit/hw/l3_entry_mem.h"
#include "grpaudit/records/route_key.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit::testing {
namespace {

std::string dotted(const std::string& hex) {
  const std::int64_t v = util::parse_hex(hex);
  if (v < 0 || v > 0xffffffffLL) throw std::invalid_argument("not a 32-bit address: " + hex);
  return std::to_string(v >> 24) + "." + std::to_string((v >> 16) & 0xff) + "." +
         std::to_string((v >> 8) & 0xff) + "." + std::to_string(v & 0xff);
}

std::string field_or(const std::map<std::string, std::string>& fields, const std::string& name,
                     const std::string& none) {
  const auto it = fields.find(name);
  return it == fields.end() ? none : it->second;
}

std::int64_t dec_or_prefixed_hex(const std::string& text) {
  return text.find("0x") != std::string::npos ? util::parse_hex(text) : util::parse_dec(text);
}

}  // namespace

void plain_ipmc_table(std::string_view text, const hw::VrfNameFn& vrf_name,
                      std::map<std::string, Hmroute>& mroutes) {
  const auto lines = util::split_lines(text);
  if (lines.empty()) throw std::out_of_range("no header line");
  const hw::Words title = util::split_ws(lines[0]);
  const std::int64_t src_index = hw::header_index(title, "SRC", lines[0]);
  const std::int64_t mc_index = hw::header_index(title, "MC", lines[0]) - 2;
  const std::int64_t grp_index = hw::header_index(title, "GROUP", lines[0]) - 4;
  const std::int64_t vlan_index = hw::header_index(title, "VLAN", lines[0]) - 4;
  const std::int64_t vrf_index = hw::header_index(title, "VRF", lines[0]) - 4;
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const hw::Words ipmc = util::split_ws(lines[i]);
    if (static_cast<std::int64_t>(ipmc.size()) < grp_index) continue;
    const std::string sip(hw::field_at(ipmc, src_index, lines[i]));
    const std::string dip(hw::field_at(ipmc, mc_index, lines[i]));
    const std::int64_t iif = util::parse_dec(hw::field_at(ipmc, vlan_index, lines[i]));
    const std::string vrf = vrf_name(util::parse_dec(hw::field_at(ipmc, vrf_index, lines[i])));
    const std::int64_t mcast_grp = util::parse_hex(hw::field_at(ipmc, grp_index, lines[i]));
    mroutes.insert_or_assign(make_route_key(vrf, sip, dip), Hmroute(sip, dip, iif, mcast_grp, vrf));
  }
}

void plain_l3_entry_table(std::string_view text, const hw::VrfNameFn& vrf_name,
                          std::map<std::string, Hmroute>& mroutes) {
  for (const std::string_view line : util::split_lines(text)) {
    const auto [key, fields] = hw::field_dict_build(line);
    if (!key) continue;
    const std::int64_t val_0 = util::parse_dec(field_or(fields, "VALID_0", "0"));
    const std::int64_t val_1 = util::parse_dec(field_or(fields, "VALID_1", "0"));
    if (val_0 == 0 && val_1 == 0) continue;
    const std::string sip = dotted(field_or(fields, "SOURCE_IP_ADDR", "0x0"));
    const std::string dip = dotted(fields.at("GROUP_IP_ADDR"));
    const std::string vrf = vrf_name(dec_or_prefixed_hex(field_or(fields, "VRF_ID", "0")));
    const std::int64_t iif = dec_or_prefixed_hex(field_or(fields, "EXPECTED_L3_IIF", "0"));
    const std::int64_t mcast_grp = util::parse_hex(field_or(fields, "L3MC_INDEX", "0"));
    mroutes.insert_or_assign(make_route_key(vrf, sip, dip), Hmroute(sip, dip, iif, mcast_grp, vrf));
  }
}

std::string route_reading(RouteReader read, std::string_view text, const hw::VrfNameFn& vrf_name) {
  std::map<std::string, Hmroute> routes;
  std::string error;
  try {
    read(text, vrf_name, routes);
  } catch (const std::exception& e) {
    // The kind of error, not its text: the twins word their messages alike
    // only where the readers document it.
    error = std::string("error: ") + typeid(e).name() + "\n";
  }
  std::string out;
  for (const auto& [key, r] : routes) {
    out += key + " | " + r.sip + " " + r.dip + " " + std::to_string(r.iif) + " " +
           std::to_string(r.grp) + " " + r.vrf + "\n";
  }
  return out + error;
}

}  // namespace grpaudit::testing

#include "grpaudit/hw/l3_entry_mem.h"

#include <fmt/format.h>

#include <cstdint>
#include <stdexcept>

#include "grpaudit/asic/asic.h"
#include "grpaudit/records/route_key.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {
namespace {

using Fields = std::map<std::string, std::string>;

const util::Regex& entry_re() {
  static const util::Regex re(R"(\[(?P<key>\d+)\]: \<(?P<data>\S+)\>)", util::Regex::Mode::kSearch);
  return re;
}

// The NAME=VALUE pieces of an entry's field list, as field_dict_build reads
// them, in order and without copies: a later piece of a name replaces an
// earlier one, so lookups take the last.
class FieldList {
 public:
  explicit FieldList(std::string_view data) {
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = data.find(',', start);
      const std::string_view piece = data.substr(
          start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
      // The value ends at a second "=", if any; a piece without "=" counts for nothing.
      if (const std::size_t eq = piece.find('='); eq != std::string_view::npos) {
        const std::string_view rest = piece.substr(eq + 1);
        fields_.emplace_back(piece.substr(0, eq), rest.substr(0, rest.find('=')));
      }
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }

  const std::string_view* find(std::string_view name) const {
    for (auto it = fields_.rbegin(); it != fields_.rend(); ++it) {
      if (it->first == name) return &it->second;
    }
    return nullptr;
  }
  std::string_view get_or(std::string_view name, std::string_view dflt) const {
    const std::string_view* v = find(name);
    return v == nullptr ? dflt : *v;
  }

 private:
  std::vector<std::pair<std::string_view, std::string_view>> fields_;
};

// Some fields are printed in hexadecimal only when they carry the prefix.
std::int64_t parse_dec_or_prefixed_hex(std::string_view text) {
  return util::contains(text, "0x") ? util::parse_hex(text) : util::parse_dec(text);
}

// The address in network byte order, most significant byte first.
std::string dotted(std::string_view hex_text) {
  const std::int64_t v = util::parse_hex(hex_text);
  if (v < 0 || v > 0xffffffffLL) {
    throw std::invalid_argument("not a 32-bit address: " + util::quote(hex_text));
  }
  return fmt::format("{}.{}.{}.{}", (v >> 24) & 0xff, (v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff);
}

}  // namespace

FieldDict field_dict_build(std::string_view entry) {
  const auto m = entry_re().match(entry);
  if (!m) return {std::nullopt, {}};
  Fields fields;
  for (const std::string_view piece : util::split_at((*m)["data"], ",")) {
    const auto parts = util::split_at(piece, "=");
    if (parts.size() < 2) continue;
    fields.insert_or_assign(std::string(parts[0]), std::string(parts[1]));
  }
  return {std::string((*m)["key"]), std::move(fields)};
}

void parse_l3_entry_ipmc_table(std::string_view text, const VrfNameFn& vrf_name,
                               std::map<std::string, Hmroute>& mroutes) {
  // field_dict_build for each line, without building its map.
  for (const std::string_view line : util::Lines(text)) {
    const auto m = entry_re().match(line);
    if (!m) continue;
    const FieldList fields((*m)["data"]);
    const std::int64_t val_0 = util::parse_dec(fields.get_or("VALID_0", "0"));
    const std::int64_t val_1 = util::parse_dec(fields.get_or("VALID_1", "0"));
    if (val_0 == 0 && val_1 == 0) continue;
    std::string sip = dotted(fields.get_or("SOURCE_IP_ADDR", "0x0"));
    const std::string_view* group = fields.find("GROUP_IP_ADDR");
    if (group == nullptr) {
      throw std::out_of_range("no GROUP_IP_ADDR in valid entry " + std::string((*m)["key"]) + ": " +
                              util::quote(line));
    }
    std::string dip = dotted(*group);
    std::string vrf = vrf_name(parse_dec_or_prefixed_hex(fields.get_or("VRF_ID", "0")));
    const std::int64_t iif = parse_dec_or_prefixed_hex(fields.get_or("EXPECTED_L3_IIF", "0"));
    const std::int64_t mcast_grp = util::parse_hex(fields.get_or("L3MC_INDEX", "0"));
    std::string route_key = make_route_key(vrf, sip, dip);
    mroutes.insert_or_assign(std::move(route_key), Hmroute(std::move(sip), std::move(dip), iif,
                                                           mcast_grp, std::move(vrf)));
  }
}

}  // namespace grpaudit::hw

namespace grpaudit {

Asic::FieldDict Asic::_field_dict_build(std::string_view entry) {
  return hw::field_dict_build(entry);
}

void Asic::_parse_l3_entry_ipmc_table() {
  const std::string cmd = "dump chg l3_entry_ipv4_multicast";
  hw::parse_l3_entry_ipmc_table(
      *sdk_run(cmd, cmd), [this](std::int64_t id) { return vrf_db->vrf_id2name(id); }, mroutes);
}

}  // namespace grpaudit

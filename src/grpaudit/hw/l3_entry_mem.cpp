#include "grpaudit/hw/l3_entry_mem.h"

#include <cstdint>
#include <stdexcept>

#include "grpaudit/hw/route_batch.h"
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

// The fields of an entry that a route is made of, as field_dict_build reads
// them, in one pass over the field list and without copies: a later piece of
// a name replaces an earlier one.
struct RouteFields {
  enum Name { kValid0, kValid1, kSourceIp, kGroupIp, kVrfId, kExpectedIif, kL3mcIndex, kCount };
  std::string_view value[kCount];
  bool present[kCount] = {};

  explicit RouteFields(std::string_view data) {
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = data.find(',', start);
      const std::string_view piece = data.substr(
          start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
      // The value ends at a second "=", if any; a piece without "=" counts for nothing.
      if (const std::size_t eq = piece.find('='); eq != std::string_view::npos) {
        const int n = name_of(piece.substr(0, eq));
        if (n != kCount) {
          const std::string_view rest = piece.substr(eq + 1);
          value[n] = rest.substr(0, rest.find('='));
          present[n] = true;
        }
      }
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }

  std::string_view get_or(Name n, std::string_view dflt) const {
    return present[n] ? value[n] : dflt;
  }

 private:
  static int name_of(std::string_view name) {
    static constexpr std::string_view kNames[kCount] = {
        "VALID_0", "VALID_1",         "SOURCE_IP_ADDR", "GROUP_IP_ADDR",
        "VRF_ID",  "EXPECTED_L3_IIF", "L3MC_INDEX"};
    for (int i = 0; i < kCount; ++i) {
      if (name == kNames[i]) return i;
    }
    return kCount;
  }
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
  char buf[16];
  char* p = buf;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto byte = static_cast<unsigned>((v >> shift) & 0xff);
    if (byte >= 100) *p++ = static_cast<char>('0' + byte / 100);
    if (byte >= 10) *p++ = static_cast<char>('0' + byte / 10 % 10);
    *p++ = static_cast<char>('0' + byte % 10);
    if (shift != 0) *p++ = '.';
  }
  return std::string(buf, p);
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
  using F = RouteFields;
  // The groups of entry_re by number: 1 the index, 2 the fields.
  constexpr std::size_t kKey = 1;
  constexpr std::size_t kData = 2;
  RouteBatch::fill(mroutes, [&](RouteBatch& batch) {
    // field_dict_build for each line, without building its map.
    for (const std::string_view line : util::Lines(text)) {
      const auto m = entry_re().match(line);
      if (!m) continue;
      const F fields(m->group(kData));
      const std::int64_t val_0 = util::parse_dec(fields.get_or(F::kValid0, "0"));
      const std::int64_t val_1 = util::parse_dec(fields.get_or(F::kValid1, "0"));
      if (val_0 == 0 && val_1 == 0) continue;
      const std::string sip = dotted(fields.get_or(F::kSourceIp, "0x0"));
      if (!fields.present[F::kGroupIp]) {
        throw std::out_of_range("no GROUP_IP_ADDR in valid entry " + std::string(m->group(kKey)) +
                                ": " + util::quote(line));
      }
      const std::string dip = dotted(fields.value[F::kGroupIp]);
      const std::string vrf = vrf_name(parse_dec_or_prefixed_hex(fields.get_or(F::kVrfId, "0")));
      const std::int64_t iif = parse_dec_or_prefixed_hex(fields.get_or(F::kExpectedIif, "0"));
      const std::int64_t mcast_grp = util::parse_hex(fields.get_or(F::kL3mcIndex, "0"));
      batch.add(vrf, sip, dip, iif, mcast_grp);
    }
  });
}

}  // namespace grpaudit::hw

#include "grpaudit/hw/ipmc_table.h"

#include <algorithm>
#include <stdexcept>

#include "grpaudit/hw/fields.h"
#include "grpaudit/hw/route_batch.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit::hw {

namespace {

constexpr bool is_space(char c) {
  // Space, \t, \n, \v, \f and \r: util::is_space in one test.
  constexpr std::uint64_t kSpaces = (std::uint64_t{1} << ' ') | 0x3e00;
  return static_cast<unsigned char>(c) <= ' ' && ((kSpaces >> static_cast<unsigned char>(c)) & 1);
}

// The first `limit` words of `row`, as util::split_ws would give them.
void split_words(std::string_view row, std::size_t limit, Words& words) {
  words.clear();
  const char* p = row.data();
  const char* const end = p + row.size();
  while (words.size() < limit) {
    while (p != end && is_space(*p)) ++p;
    if (p == end) break;
    const char* const start = p;
    while (p != end && !is_space(*p)) ++p;
    words.emplace_back(start, static_cast<std::size_t>(p - start));
  }
}

}  // namespace

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
  // A row is split only as far as the rightmost field read: words past it
  // tell nothing, neither whether the row is skipped (fewer than grp_index
  // words) nor whether it has the fields read.
  const std::size_t words_needed =
      static_cast<std::size_t>(std::max({std::int64_t{0}, src_index + 1, mc_index + 1,
                                         grp_index + 1, vlan_index + 1, vrf_index + 1}));

  RouteBatch::fill(mroutes, [&](RouteBatch& batch) {
    // The line after the header carries no route.
    if (++line != lines.end()) ++line;
    Words ipmc;
    for (; line != lines.end(); ++line) {
      const std::string_view row = *line;
      split_words(row, words_needed, ipmc);
      if (static_cast<std::int64_t>(ipmc.size()) < grp_index) continue;
      // field_at, without a call where the word is there.
      const auto field = [&](std::int64_t i) {
        return i >= 0 && static_cast<std::size_t>(i) < ipmc.size()
                   ? ipmc[static_cast<std::size_t>(i)]
                   : field_at(ipmc, i, row);
      };
      const std::string_view sip = field(src_index);
      const std::string_view dip = field(mc_index);
      const std::int64_t iif = util::parse_dec(field(vlan_index));
      const std::string vrf = vrf_name(util::parse_dec(field(vrf_index)));
      const std::int64_t mcast_grp = util::parse_hex(field(grp_index));
      batch.add(vrf, sip, dip, iif, mcast_grp);
    }
  });
}

}  // namespace grpaudit::hw

#include <fmt/format.h>

#include "grpaudit/asic/asic.h"
#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit {

std::string Asic::_grp_ip2mac(std::string_view grp) {
  // Every piece is converted, even those past the fourth, which are not used.
  std::vector<std::int64_t> ip;
  for (const auto piece : util::split_at(grp, ".")) ip.push_back(util::parse_dec(piece));
  if (ip.size() < 4) throw std::out_of_range("not a dotted IPv4 group: " + util::quote(grp));
  // The low 23 bits of the group go into 01:00:5e:00:00:00.
  return fmt::format("01:00:5e:{:02x}:{:02x}:{:02x}", ip[1] & 0x7f, ip[2], ip[3]);
}

}  // namespace grpaudit

#include "grpaudit/records/group_mac.h"

#include <fmt/format.h>

#include <cstdint>
#include <stdexcept>

#include "grpaudit/util/ints.h"
#include "grpaudit/util/text.h"

namespace grpaudit {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// The MAC of the low 23 bits of the group, into `mac`.
void mac_of(std::string& mac, std::int64_t b0, std::int64_t b1, std::int64_t b2) {
  mac.assign("01:00:5e:00:00:00");
  const std::int64_t b[3] = {b0, b1, b2};
  for (int i = 0; i < 3; ++i) {
    mac[9 + 3 * i] = kHex[b[i] >> 4];
    mac[10 + 3 * i] = kHex[b[i] & 0xf];
  }
}

// A group as the kernel prints it, four pieces of one to three digits each,
// read in one pass; false (nothing written) for any other text, which the
// general reading then takes.
bool plain_quad_ip2mac(std::string& mac, std::string_view grp) {
  std::int64_t octets[4] = {};
  std::size_t count = 0;
  std::size_t digits = 0;
  for (const char c : grp) {
    if (c >= '0' && c <= '9') {
      if (++digits > 3 || count >= 4) return false;
      octets[count] = octets[count] * 10 + (c - '0');
    } else if (c == '.' && digits > 0 && count < 3) {
      ++count;
      digits = 0;
    } else {
      return false;
    }
  }
  if (count != 3 || digits == 0 || octets[2] > 255 || octets[3] > 255) return false;
  mac_of(mac, octets[1] & 0x7f, octets[2], octets[3]);
  return true;
}

}  // namespace

void group_mac_into(std::string& mac, std::string_view grp) {
  if (plain_quad_ip2mac(mac, grp)) return;
  // Every piece is read, also those after the fourth, which are not used.
  std::int64_t octets[4] = {};
  std::size_t count = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = grp.find('.', start);
    const std::int64_t v = util::parse_dec(
        grp.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (count < 4) octets[count] = v;
    ++count;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (count < 4) {
    throw std::out_of_range("not a dotted IPv4 group address: " + util::quote(grp));
  }
  // The low 23 bits of the group go into 01:00:5e:00:00:00.
  const std::int64_t b[3] = {octets[1] & 0x7f, octets[2], octets[3]};
  if ((b[1] < 0 || b[1] > 255) || (b[2] < 0 || b[2] > 255)) {
    mac = fmt::format("01:00:5e:{:02x}:{:02x}:{:02x}", b[0], b[1], b[2]);
    return;
  }
  // Bytes, as nearly every group has: without the formatting machinery.
  mac_of(mac, b[0], b[1], b[2]);
}

std::string group_mac(std::string_view grp) {
  std::string mac;
  group_mac_into(mac, grp);
  return mac;
}

}  // namespace grpaudit

#pragma once
// The Ethernet group address of an IPv4 multicast group: the key by which
// the kernel's multicast database lists a group, and the ASIC's view of it.

#include <string>
#include <string_view>

namespace grpaudit {

// "01:00:5e:%02x:%02x:%02x" of the low 23 bits of dotted group `grp`. Every
// dot-separated piece must be a decimal number (std::invalid_argument) and
// there must be four or more (std::out_of_range); pieces past the fourth are
// read but not used, and a piece beyond a byte is printed as it is.
std::string group_mac(std::string_view grp);
// The same into `mac`, whose storage is reused.
void group_mac_into(std::string& mac, std::string_view grp);

}  // namespace grpaudit

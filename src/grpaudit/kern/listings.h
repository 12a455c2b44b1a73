#pragma once
// The kernel's text listings and files, read as pure functions over their
// text: what the kernel readers (kernel.h) make of each output they are
// given. Like the hardware parsers, they run nothing and read no file.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace grpaudit::kern {

// The link kind of `dev` from its "/bin/ip -d link show DEV" output: the
// first word of the third line, or "unk" for an output of fewer than three
// lines or one whose first line says the device "does not exist". A third
// line without a word is std::out_of_range naming the device.
std::string link_kind(std::string_view ip_link_show, std::string_view dev);

// A bridge's vlan_filtering file: the value of its last line, the base
// taken from the text's own prefix; 0 for a file without lines.
std::int64_t vlan_filtering_value(std::string_view file);

// "/proc/net/vlan/config": after two header lines, "name | VID | lower
// device" with padded fields; a line of fewer than three fields is skipped
// and fields past the third are ignored. `entry` is called for each device
// in file order; a VID that is not decimal is std::invalid_argument, after
// the devices before it.
void read_vlan_dev_config(std::string_view text,
                          const std::function<void(std::string_view dev, std::int64_t vid,
                                                   std::string_view atlink)>& entry);

// The VLANs that "/sbin/bridge vlan show dev PORT" lists for one port: the
// second field of each line split at single blanks, where it is a plain
// decimal number (titles and ranges are skipped). `vlan` is called for each,
// in listing order.
void read_port_vlans(std::string_view bridge_vlan_show,
                     const std::function<void(std::int64_t)>& vlan);

// A bond's member file: its names, split at white space.
std::vector<std::string> bond_slaves(std::string_view file);

}  // namespace grpaudit::kern

#pragma once
// Readers of the front-panel ports: "show portmap" (SDK name, logical port,
// Linux name), "pvlan show" (each port's default VLAN) and "show unit".

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "grpaudit/records/hw_records.h"

namespace grpaudit::hw {

// True when the unit listing names the 56340 chip anywhere.
bool is_1g_chip(std::string_view show_unit);

// The Linux name of an SDK port; may throw for a port without one.
using LinuxNameFn = std::function<std::string(const std::string&)>;

// Appends one PortmapEntry per line after the header, in order. A port that
// `bcm2linux` cannot name (whatever it throws) gets an entry without a Linux
// name. A listing of fewer than two lines or whose header says "Error", and a
// header without the word "logical", are std::runtime_error with fixed texts;
// a short row is std::out_of_range and a non-decimal logical port
// std::invalid_argument, with the rows before it appended.
void parse_portmap(std::string_view text, const LinuxNameFn& bcm2linux,
                   std::vector<PortmapEntry>& portmap);

using PortVidFn = std::function<void(const std::string& dport, std::int64_t port_vid)>;

// Calls `set_port_vid` for every line starting "Port P default VLAN is N", in
// order; other lines are skipped.
void parse_pvlan_show(std::string_view text, const PortVidFn& set_port_vid);

}  // namespace grpaudit::hw

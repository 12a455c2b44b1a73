#pragma once
// The live switch's port table and VRF names, read from small text files.
//
// Port table: one "<sdk port> <linux port>" per line. VRF map: one
// "<id> <name>" per line. In both, '#' starts a comment and blank lines are
// ignored.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "grpaudit/platform/platform.h"

namespace grpaudit::platform {

// Both throw std::system_error when the file cannot be read (a directory
// included) and std::runtime_error naming the file and line for a malformed
// line; a port table that lists no port is an error too. A VRF id the map
// does not name is std::out_of_range "unknown VRF id N (...)", which says
// where to name it.
std::unique_ptr<quorvex::ifatlas::ifatlas> load_port_table(const std::string& path);
// Without a file (empty path) the only VRF is id 0, "default"; with one, id 0
// is "default" unless the file names it.
std::unique_ptr<quorvex::grpaudit_util::VrfDb> load_vrf_map(const std::string& path);

// Tables given as data: the ports as (SDK port, Linux port) pairs in the
// order get_linux_ports lists them; the VRF names by id (id 0 is "default"
// unless named). An empty port table is a std::runtime_error, as a file
// that lists no port.
std::unique_ptr<quorvex::ifatlas::ifatlas> make_port_table(
    const std::vector<std::pair<std::string, std::string>>& ports);
std::unique_ptr<quorvex::grpaudit_util::VrfDb> make_vrf_db(
    const std::map<std::int64_t, std::string>& names);

// The same from text already read; `name` stands for the file in messages.
std::unique_ptr<quorvex::ifatlas::ifatlas> parse_port_table(std::string_view text,
                                                            const std::string& name);
std::unique_ptr<quorvex::grpaudit_util::VrfDb> parse_vrf_map(std::string_view text,
                                                             const std::string& name);

}  // namespace grpaudit::platform

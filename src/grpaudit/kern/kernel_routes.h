#pragma once
// The kernel's IPv4 multicast routes, read through the Host with `ip -j`.

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "grpaudit/platform/platform.h"
#include "grpaudit/util/warnings.h"

namespace grpaudit::kern {

// One route; its key, "<vrf>, (<src>,<dst>)", is that of the table that
// holds it.
struct KernelRoute {
  std::string vrf;
  std::string src;
  std::string dst;
  std::string iif;
  std::vector<std::string> oil;  // in the listing's order
  std::string state;             // "resolved", "unresolved" or empty
};

inline constexpr const char* kVrfListCommand = "/bin/ip -j -d link show type vrf";
inline constexpr const char* kMrouteListCommand = "/bin/ip -j mroute show table all";

// Table id (decimal text) to VRF name. A failing or silent command means no
// VRFs (a failing one is a warning, where `warnings` is given); output that
// is not the expected JSON is a JSON error naming the command.
std::map<std::string, std::string> read_vrf_tables(Host& host, util::Warnings* warnings = nullptr);

// Every kernel route by key; of two routes with one key the later stands.
// Throws std::runtime_error "cannot read the kernel's multicast routes" when
// the listing command fails; output that is not the expected JSON is a JSON
// error (nlohmann::json::exception) naming the command and, where the text
// stops being JSON, the line and column.
std::map<std::string, KernelRoute> read_kernel_routes(Host& host,
                                                      util::Warnings* warnings = nullptr);

// The same from listing texts already read (`vrf_json` may be empty).
std::map<std::string, std::string> parse_vrf_tables(const std::string& vrf_json);
std::map<std::string, KernelRoute> parse_kernel_routes(
    const std::string& mroute_json, const std::map<std::string, std::string>& vrfs);

// A long listing is read some routes at a time, a slice of about this many
// bytes each; the result, errors included, is the same for any slice size.
inline constexpr std::size_t kRouteSliceBytes = std::size_t{256} << 10;

namespace detail {
// parse_kernel_routes with slices of `slice_bytes`; kWholeListing reads the
// listing in one piece.
inline constexpr std::size_t kWholeListing = static_cast<std::size_t>(-1);
std::map<std::string, KernelRoute> parse_kernel_routes(
    const std::string& mroute_json, const std::map<std::string, std::string>& vrfs,
    std::size_t slice_bytes);
}  // namespace detail

}  // namespace grpaudit::kern

// The kernel's route and VRF listings ("ip -j mroute show", "ip -j -d link
// show type vrf") as the command reads them.

#include <algorithm>

#include "fuzz_support.h"
#include "grpaudit/kern/kernel_routes.h"
#include "grpaudit/records/route_key.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  std::map<std::string, std::string> vrfs;
  fuzz::documented({.json = true}, [&] { vrfs = kern::parse_vrf_tables(in[0]); });
  fuzz::documented({.json = true}, [&] {
    const auto routes = kern::parse_kernel_routes(in[1], vrfs);
    for (const auto& [key, route] : routes) {
      if (key != make_route_key(route.vrf, route.src, route.dst)) std::abort();
    }
    // Read in slices of any size, the listing gives the same routes, and
    // reads as well as it read whole.
    const auto sliced = [&] {
      try {
        return kern::detail::parse_kernel_routes(in[1], vrfs, 16);
      } catch (...) {
        std::abort();
      }
    }();
    const auto same = [](const kern::KernelRoute& a, const kern::KernelRoute& b) {
      return a.vrf == b.vrf && a.src == b.src && a.dst == b.dst && a.iif == b.iif &&
             a.oil == b.oil && a.state == b.state;
    };
    if (!std::equal(routes.begin(), routes.end(), sliced.begin(), sliced.end(),
                    [&](const auto& a, const auto& b) {
                      return a.first == b.first && same(a.second, b.second);
                    })) {
      std::abort();
    }
  });
  return 0;
}

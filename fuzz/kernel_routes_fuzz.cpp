// The kernel's route and VRF listings ("ip -j mroute show", "ip -j -d link
// show type vrf") as the command reads them.

#include "fuzz_support.h"
#include "kernel_routes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  std::map<std::string, std::string> vrfs;
  fuzz::documented({.runtime = fuzz::starting(std::string(cli::kVrfListCommand) + ": ")},
                   [&] { vrfs = cli::parse_vrf_tables(in[0]); });
  fuzz::documented({.runtime = fuzz::starting(std::string(cli::kMrouteListCommand) + ": ")}, [&] {
    for (const auto& [key, route] : cli::parse_kernel_routes(in[1], vrfs)) {
      if (key != route.key) std::abort();
    }
  });
  return 0;
}

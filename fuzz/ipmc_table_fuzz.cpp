// The route listing ("ipmc table show") and the route key: only the
// documented error kinds may escape.

#include "fuzz_support.h"
#include "grpaudit/hw/ipmc_table.h"
#include "grpaudit/records/route_key.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  (void)split_route_key(in.whole());
  std::map<std::string, Hmroute> routes;
  // A VRF id the database does not know fails the lookup, as it may live.
  const auto vrf_name = [](std::int64_t id) -> std::string {
    if (id > 100) throw std::out_of_range("unknown VRF id " + std::to_string(id));
    return "vrf" + std::to_string(id);
  };
  fuzz::documented({.value = true, .lookup = true},
                   [&] { hw::parse_ipmc_table(in.whole(), vrf_name, routes); });
  return 0;
}

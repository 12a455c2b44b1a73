// L3 interfaces ("l3 intf show"), the daemon's next-hop lines and the
// "l3 egress show" lookup.

#include "fuzz_support.h"
#include "grpaudit/hw/l3_intf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  std::map<std::int64_t, std::int64_t> ids;
  fuzz::documented({.value = true, .lookup = true}, [&] { hw::parse_l3_intf(in.whole(), ids); });
  fuzz::documented({.value = true}, [&] { hw::parse_l3_intf_nhi(in.whole(), ids); });
  fuzz::documented({.lookup = true}, [&] { (void)hw::find_l3_egress(in.whole(), "100002"); });
  return 0;
}

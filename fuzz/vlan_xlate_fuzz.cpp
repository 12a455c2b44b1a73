// The VLAN translation table ("vlan translate show").

#include "fuzz_support.h"
#include "grpaudit/hw/vlan_xlate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  std::vector<VlanXlate> table;
  fuzz::documented({.value = true, .lookup = true},
                   [&] { hw::parse_vlan_xlate(in.whole(), table); });
  return 0;
}

// RIOT outputs: "sc L3IngressMode", "listmem VLAN", the memory-table read of
// a VLAN's L3 IIF and the daemon's next-hop lines, through an Asic built with
// RIOT on.

#include "fuzz_support.h"
#include "grpaudit/asic/asic.h"
#include "grpaudit/hw/riot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  fuzz::documented({.value = true}, [&] { (void)hw::parse_l3_ingress_mode(in[0]); });
  (void)hw::riot_memtable_from_listmem(in[1]);

  fuzz::FuzzSwitch sw;
  sw.sdk["sc L3IngressMode"] = in[0];
  sw.sdk["listmem VLAN"] = in[1];
  sw.memory_dump = in[2];
  sw.commands["cat /quorvex/hwprogd/debug/mroute/info"] = RunResult{0, in[3]};
  std::unique_ptr<Asic> asic;
  if (!fuzz::documented({.value = true}, [&] { asic = std::make_unique<Asic>(sw.platform()); })) {
    return 0;
  }
  // The debug output is switched back whatever the next-hop lines held.
  if (asic->qv_mroute_hwprogd_debug_enabled) std::abort();
  for (const std::int64_t vlan : {-1, 0, 10, 10}) {
    const auto cached = asic->vlan_riot.size();
    if (!fuzz::documented({.value = true, .lookup = true},
                          [&] { (void)asic->_hw_vlan_to_iif(vlan); })) {
      if (asic->vlan_riot.size() != cached) std::abort();  // a failed read caches nothing
    }
  }
  return 0;
}

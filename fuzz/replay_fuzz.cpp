// A whole check on a hand-edited snapshot: construction (both route
// readers), the kernel's routes, the comparison of every route and the dump.
// Every error must be one a reader documents.

#include "fuzz_support.h"
#include "grpaudit/asic/asic.h"
#include "grpaudit/check/audit.h"
#include "grpaudit/kern/kernel_routes.h"
#include "grpaudit/platform/snapshot.h"

namespace {

// The fixed texts of the readers' own errors.
bool documented_text(std::string_view what) {
  static const std::vector<std::string_view> fixed{
      "ipmc table show timed out",
      "dump chg l3_entry_ipv4_multicast",
      "multicast show",
      "l3 intf show",
      "show portmap timed out",
      "show portmap is not supported on this chip",
      "show portmap format unexpected",
      "pvlan show",
      "vlan translate show",
      "sc L3IngressMode timed out",
      "listmem VLAN",
      "cannot read the kernel's multicast routes",
  };
  for (const auto t : fixed) {
    if (what == t) return true;
  }
  for (const std::string_view prefix :
       {std::string_view("vlan show "), std::string_view("ports ")}) {
    if (what.starts_with(prefix)) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  platform::Snapshot snap;
  if (!fuzz::documented({.snapshot = true},
                        [&] { snap = platform::parse_snapshot(in.whole(), "fuzz"); })) {
    return 0;
  }
  const Platform p =
      platform::make_replay_platform(std::make_shared<const platform::Snapshot>(snap));
  const fuzz::Allowed allowed{
      .value = true, .lookup = true, .json = true, .os = true, .runtime = documented_text};
  for (const bool mem_table : {false, true}) {
    // The MLAG peer is added once per construction; start each input afresh.
    Asic::ORIG_DEV = {"lo"};
    fuzz::documented(allowed, [&] {
      Asic asic(p, mem_table);
      const auto routes = kern::read_kernel_routes(*p.host);
      const auto result = asic.audit(routes, {});
      if (result.routes.size() < routes.size()) std::abort();  // every route has a status
      (void)asic.str();
    });
  }
  return 0;
}

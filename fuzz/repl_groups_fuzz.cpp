// Replication groups ("multicast show") and the lookup of a group's routed
// entries. Port names outside the port table and a VLAN question that times
// out are the documented failures of the callbacks.

#include <fmt/format.h>

#include "fuzz_support.h"
#include "grpaudit/hw/repl_groups.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  const std::map<std::int64_t, std::int64_t> nhi{{100001, 1}, {100002, 2}};
  const std::map<std::int64_t, std::int64_t> intfs{{1, 100}, {2, 200}, {5, 13}};
  for (const bool riot : {false, true}) {
    const hw::ReplGroupContext ctx{riot, nhi, intfs,
                                   [](const std::string& p) -> std::string {
                                     if (!p.starts_with("xe"))
                                       throw std::out_of_range("unknown SDK port " + p);
                                     return "swp" + p.substr(2);
                                   },
                                   [](const std::string&, std::int64_t ivid) -> std::int64_t {
                                     if (ivid == 13)
                                       throw std::runtime_error(fmt::format("vlan show {}", ivid));
                                     return ivid == 100 ? -1 : ivid;
                                   }};
    std::map<std::int64_t, ReplicationGroup> groups;
    fuzz::documented({.value = true, .lookup = true, .runtime = fuzz::one_of({"vlan show 13"})},
                     [&] { hw::parse_multicast_show(in[0], ctx, groups); });
    fuzz::documented({.value = true},
                     [&] { (void)hw::repl_group_has_l3_intf(groups, in[1], in[2]); });
  }
  return 0;
}

// Feeds arbitrary text to every SDK listing reader: only the documented error
// kinds may escape, and no reader may read outside its input.

#include <cstddef>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string_view>

#include "grpaudit/hw/l3_entry_mem.h"
#include "grpaudit/hw/l3_intf.h"
#include "grpaudit/hw/portmap.h"
#include "grpaudit/hw/repl_groups.h"
#include "grpaudit/hw/riot.h"
#include "grpaudit/hw/vlan.h"
#include "grpaudit/hw/vlan_xlate.h"

namespace {

template <typename F>
void guarded(F&& f) {
  try {
    f();
  } catch (const std::invalid_argument&) {
  } catch (const std::out_of_range&) {
  } catch (const std::runtime_error&) {  // the port map's fixed texts
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::map<std::int64_t, std::int64_t> ids;
  guarded([&] { hw::parse_l3_intf(text, ids); });
  guarded([&] { hw::parse_l3_intf_nhi(text, ids); });
  guarded([&] { (void)hw::find_l3_egress(text, "100002"); });
  std::vector<PortmapEntry> portmap;
  guarded([&] {
    hw::parse_portmap(
        text, [](const std::string& p) { return p; }, portmap);
  });
  guarded([&] { hw::parse_pvlan_show(text, [](const std::string&, std::int64_t) {}); });
  guarded([&] { (void)hw::parse_vlan_show(text); });
  guarded([&] { (void)hw::parse_port_names(text); });
  std::vector<VlanXlate> xlate;
  guarded([&] { hw::parse_vlan_xlate(text, xlate); });
  guarded([&] { (void)hw::parse_l3_ingress_mode(text); });
  std::map<std::string, Hmroute> routes;
  guarded([&] {
    hw::parse_l3_entry_ipmc_table(
        text, [](std::int64_t id) { return std::to_string(id); }, routes);
  });
  const std::map<std::int64_t, std::int64_t> nhi{{1, 2}};
  std::map<std::int64_t, ReplicationGroup> groups;
  const hw::ReplGroupContext ctx{true, nhi, ids, [](const std::string& p) { return p; },
                                 [](const std::string&, std::int64_t v) { return v; }};
  guarded([&] { hw::parse_multicast_show(text, ctx, groups); });
  return 0;
}

// A bridge's MDB listing ("bridge -d -s mdb show dev BR") and the router
// ports' VLAN listings ("bridge vlan show dev PORT"), through the MDB cache
// and the bridge expansion.

#include "fuzz_support.h"
#include "grpaudit/asic/asic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  fuzz::FuzzSwitch sw;
  sw.linux_ports = {"swp1", "swp2", "swp3"};
  const std::string mdb = in[0];
  const std::string vlans = in[1];
  const std::string filtering = in[2];
  const std::string vlan_config = in[3];
  sw.command_rule = [&](const std::string& cmd) -> std::optional<RunResult> {
    if (cmd.starts_with("/sbin/bridge -d -s mdb show dev ")) return RunResult{0, mdb};
    if (cmd.starts_with("/sbin/bridge vlan show dev ")) return RunResult{0, vlans};
    constexpr std::string_view kCmd = "/bin/ip -d link show ";
    if (!cmd.starts_with(kCmd)) return std::nullopt;
    const std::string dev = cmd.substr(kCmd.size());
    return RunResult{0, fuzz::ip_link_listing(dev, fuzz::kind_by_name(dev))};
  };
  sw.file = [&](const std::string& path) -> std::optional<std::string> {
    if (path == "/sys/class/net/br0/bridge/vlan_filtering") return filtering;
    if (path == "/proc/net/vlan/config") return vlan_config;
    if (path.ends_with("/bonding/slaves")) return std::string("swp2 swp3\n");
    return std::nullopt;
  };
  sw.dir = [](const std::string& path) -> std::optional<std::vector<std::string>> {
    if (path.ends_with("/bonding/")) return std::vector<std::string>{"slaves"};
    return std::nullopt;
  };
  Asic asic(sw.platform());
  const fuzz::Allowed allowed{.value = true, .lookup = true};
  for (const std::int64_t vid : {10, -1}) {
    fuzz::documented(allowed,
                     [&] { (void)asic._kern_dev_get_mdb_entry("br0", vid, "01:00:5e:01:01:01"); });
  }
  // Not cached only when reading the VLAN-filtering flag failed.
  if (const auto mdb = asic.kern_mdb_cache.find("br0"); mdb != asic.kern_mdb_cache.end()) {
    for (const auto& [key, entry] : mdb->second.mdb_entries) {
      // No port twice in one entry.
      for (std::size_t i = 0; i < entry.swp.size(); ++i) {
        for (std::size_t j = i + 1; j < entry.swp.size(); ++j) {
          if (entry.swp[i] == entry.swp[j]) std::abort();
        }
      }
    }
  }
  asic.tmp_encaps.clear();
  fuzz::documented(allowed, [&] { asic._expand_kern_dev("239.1.1.1", "br0"); });
  return 0;
}

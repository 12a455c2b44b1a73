// The kernel's VLAN device file (/proc/net/vlan/config).

#include "fuzz_support.h"
#include "grpaudit/asic/asic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  fuzz::FuzzSwitch sw;
  const std::string config(in.whole());
  sw.file = [&](const std::string& path) -> std::optional<std::string> {
    if (path == "/proc/net/vlan/config") return config;
    return std::nullopt;
  };
  sw.command_rule = [](const std::string& cmd) -> std::optional<RunResult> {
    constexpr std::string_view kCmd = "/bin/ip -d link show ";
    if (!cmd.starts_with(kCmd)) return std::nullopt;
    const std::string dev = cmd.substr(kCmd.size());
    return RunResult{0, fuzz::ip_link_listing(dev, fuzz::kind_by_name(dev))};
  };
  Asic asic(sw.platform());
  if (!fuzz::documented({.value = true}, [&] { (void)asic._kern_get_vlan_and_atlink("x.1"); })) {
    if (!asic.kern_vlan_dev_cache_created) std::abort();  // never built twice
  }
  std::vector<std::string> devs;
  for (const auto& [dev, entry] : asic.kern_vlan_dev_cache) {
    if (dev != entry.dev) std::abort();
    devs.push_back(dev);
    if (devs.size() == 8) break;
  }
  for (const auto& dev : devs) {
    fuzz::documented({.value = true, .lookup = true},
                     [&] { (void)asic._kern_base_dev_kind_get(dev, 5); });
  }
  return 0;
}

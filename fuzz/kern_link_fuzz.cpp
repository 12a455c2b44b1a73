// "ip -d link show" output and the bridge's VLAN-filtering file, through the
// kernel device cache, VLAN device resolution and the OIF expansion.

#include "fuzz_support.h"
#include "grpaudit/asic/asic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  fuzz::FuzzSwitch sw;
  const std::string link = in[0];
  const std::string filtering = in[1];
  const std::string vlan_config = in[2];
  const std::string members = in[3];
  sw.command_rule = [&](const std::string& cmd) -> std::optional<RunResult> {
    if (cmd.starts_with("/bin/ip -d link show ")) return RunResult{0, link};
    return std::nullopt;
  };
  sw.file = [&](const std::string& path) -> std::optional<std::string> {
    if (path.ends_with("/bridge/vlan_filtering")) return filtering;
    if (path == "/proc/net/vlan/config") return vlan_config;
    if (path.ends_with("/bonding/slaves")) return members;
    return std::nullopt;
  };
  sw.dir = [&](const std::string& path) -> std::optional<std::vector<std::string>> {
    if (path.ends_with("/bonding/")) return std::vector<std::string>{"slaves"};
    if (path.ends_with("/brif")) return std::vector<std::string>{"swp1", "dev0"};
    return std::nullopt;
  };
  Asic asic(sw.platform());
  const fuzz::Allowed allowed{.value = true, .lookup = true};
  fuzz::documented(allowed, [&] { (void)asic._kern_base_dev_kind_get("dev0"); });
  fuzz::documented(allowed, [&] { (void)asic._kern_dev_vlan_filtering_get("dev0"); });
  fuzz::documented(allowed, [&] { asic._expand_kern_dev("239.1.1.1", "dev0"); });
  // A device is cached with its first answer or not at all.
  if (const auto it = asic.kern_dev_cache.find("dev0"); it != asic.kern_dev_cache.end()) {
    if (it->second.kind.empty()) std::abort();
  }
  return 0;
}

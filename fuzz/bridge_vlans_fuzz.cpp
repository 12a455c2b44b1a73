// The bridge tool's JSON VLAN listing ("bridge -j vlan show"), through the
// bridge VLAN membership cache and the untagged-member test.

#include "fuzz_support.h"
#include "grpaudit/asic/asic.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  fuzz::FuzzSwitch sw;
  sw.linux_ports = {"swp1", "swp2", "swp3"};
  sw.commands["/sbin/bridge -j vlan show"] = RunResult{0, in[0]};
  const std::string members = in[1];
  sw.command_rule = [](const std::string& cmd) -> std::optional<RunResult> {
    constexpr std::string_view kCmd = "/bin/ip -d link show ";
    if (!cmd.starts_with(kCmd)) return std::nullopt;
    const std::string dev = cmd.substr(kCmd.size());
    return RunResult{0, fuzz::ip_link_listing(dev, fuzz::kind_by_name(dev))};
  };
  sw.file = [&](const std::string& path) -> std::optional<std::string> {
    if (path.ends_with("/bonding/slaves")) return members;
    return std::nullopt;
  };
  sw.dir = [](const std::string& path) -> std::optional<std::vector<std::string>> {
    if (path.ends_with("/bonding/")) return std::vector<std::string>{"slaves"};
    return std::nullopt;
  };
  Asic asic(sw.platform());
  const fuzz::Allowed allowed{.value = true, .json = true};
  if (!fuzz::documented(allowed, [&] { (void)asic._kern_get_vlan_members(10); })) {
    if (!asic.kern_vlan_cache_created) std::abort();  // a failed build is not retried
  }
  fuzz::documented(allowed, [&] { (void)asic._kern_is_untagged_vlan_member(1, "swp1"); });
  return 0;
}

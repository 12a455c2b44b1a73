// One VLAN's untagged ports: "vlan show N" and the "ports LIST" listing, as
// pure parsers and through the Asic's on-demand VLAN cache.

#include "fuzz_support.h"
#include "grpaudit/asic/asic.h"
#include "grpaudit/hw/vlan.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  fuzz::documented({.value = true}, [&] { (void)hw::parse_vlan_show(in[0]); });
  fuzz::documented({.lookup = true}, [&] { (void)hw::parse_port_names(in[1]); });

  fuzz::FuzzSwitch sw;
  const std::string vlan_show = in[0];
  const std::string ports = in[1];
  sw.sdk_rule = [&](const std::string& cmd) -> std::optional<std::string> {
    if (cmd.starts_with("vlan show ")) return vlan_show;
    if (cmd.starts_with("ports ")) return ports;
    return std::nullopt;
  };
  Asic asic(sw.platform());
  fuzz::documented({.value = true, .lookup = true}, [&] {
    (void)asic._is_port_untagged_for_vid("xe0", 10);
    (void)asic._ivid2evid("xe0", 10);
  });
  return 0;
}

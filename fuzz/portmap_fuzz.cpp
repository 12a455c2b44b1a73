// The port map ("show portmap"), port VLANs ("pvlan show") and "show unit".

#include "fuzz_support.h"
#include "grpaudit/hw/portmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  (void)hw::is_1g_chip(in.whole());
  std::vector<PortmapEntry> portmap;
  const auto name = [](const std::string& p) -> std::string {
    if (p.starts_with("ce")) throw 7;  // the port table may throw anything
    if (!p.starts_with("xe")) throw std::out_of_range("unknown SDK port " + p);
    return "swp" + p.substr(2);
  };
  fuzz::documented({.value = true,
                    .lookup = true,
                    .runtime = fuzz::one_of({"show portmap is not supported on this chip",
                                             "show portmap format unexpected"})},
                   [&] { hw::parse_portmap(in.whole(), name, portmap); });
  fuzz::documented({.value = true}, [&] {
    hw::parse_pvlan_show(in.whole(), [&](const std::string& dport, std::int64_t vid) {
      for (auto& e : portmap) {
        if (e.dport == dport) e.update_port_vid(vid);
      }
    });
  });
  return 0;
}

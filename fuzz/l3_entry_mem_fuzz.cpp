// Memory dump lines: the L3 entry memory route reader, its line parser and
// the live transport's memory-table decoding.

#include "fuzz_support.h"
#include "grpaudit/hw/l3_entry_mem.h"
#include "grpaudit/platform/sdk_transport.h"
#include "grpaudit/util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  for (const auto line : util::split_lines(in.whole())) {
    const auto [key, fields] = hw::field_dict_build(line);
    if (!key && !fields.empty()) std::abort();  // no index, no fields
  }
  std::map<std::string, Hmroute> routes;
  const auto vrf_name = [](std::int64_t id) -> std::string {
    if (id > 100) throw std::out_of_range("unknown VRF id " + std::to_string(id));
    return "vrf" + std::to_string(id);
  };
  fuzz::documented({.value = true, .lookup = true},
                   [&] { hw::parse_l3_entry_ipmc_table(in.whole(), vrf_name, routes); });
  fuzz::documented({.value = true}, [&] { (void)platform::parse_memory_dump(in.whole()); });
  return 0;
}

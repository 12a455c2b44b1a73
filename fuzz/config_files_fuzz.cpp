// The live switch's port table and VRF map files: a malformed line, or a
// table without a port, is an error naming the file.

#include "fuzz_support.h"
#include "grpaudit/platform/config_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  fuzz::documented({.runtime = fuzz::starting("port table fuzz ")},
                   [&] { (void)platform::parse_port_table(in.whole(), "fuzz"); });
  fuzz::documented({.value = true, .runtime = fuzz::starting("VRF map fuzz line ")},
                   [&] { (void)platform::parse_vrf_map(in.whole(), "fuzz"); });
  return 0;
}

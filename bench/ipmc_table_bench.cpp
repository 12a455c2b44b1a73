// Throughput of the route listing reader.

#include <benchmark/benchmark.h>

#include <fmt/format.h>

#include "grpaudit/hw/ipmc_table.h"

namespace {

std::string listing(int routes) {
  std::string out =
      "SRC IP ADDRESS    MC IP ADDRESS     GROUP       VLAN  VRF  Hit\n"
      "--------------------------------------------------------------\n";
  for (int i = 0; i < routes; ++i) {
    out += fmt::format("10.{}.{}.{}  239.{}.{}.1  0x{:x}  {}  {}  y\n", i / 65536 % 256,
                       i / 256 % 256, i % 256, i / 256 % 256, i % 256, i, 100 + i % 4000, i % 4);
  }
  return out;
}

void BM_ParseIpmcTable(benchmark::State& state) {
  const std::string text = listing(static_cast<int>(state.range(0)));
  const grpaudit::hw::VrfNameFn vrf = [](std::int64_t id) { return "vrf" + std::to_string(id); };
  for (auto _ : state) {
    std::map<std::string, grpaudit::Hmroute> routes;
    grpaudit::hw::parse_ipmc_table(text, vrf, routes);
    benchmark::DoNotOptimize(routes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseIpmcTable)->Arg(1000)->Arg(8000)->Arg(32000);

}  // namespace

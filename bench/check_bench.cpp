// Asic construction and the comparison of every route, in process, at each
// size.

#include <benchmark/benchmark.h>

#include <memory>

#include "bench_support.h"
#include "benchmarks.h"
#include "grpaudit/asic/asic.h"
#include "grpaudit/check/audit.h"
#include "grpaudit/kern/kernel_routes.h"

namespace grpaudit::bench {
namespace {

std::int64_t sdk_bytes(double scale) {
  std::int64_t n = 0;
  for (const auto& [cmd, out] : snapshot(scale)->sdk_commands)
    n += static_cast<std::int64_t>(out.size());
  return n;
}

}  // namespace

void register_check_benchmarks() {
  for (const double scale : kScales) {
    // Every table read from the replayed SDK shell; throughput in listing
    // text and in routes.
    benchmark::RegisterBenchmark(
        ("construct Asic/" + scale_name(scale)).c_str(),
        [scale](benchmark::State& state) {
          const Platform platform = replay(scale);
          std::size_t routes = 0;
          for (auto _ : state) {
            const Asic asic(platform);
            routes = asic.mroutes.size();
          }
          state.SetBytesProcessed(state.iterations() * sdk_bytes(scale));
          state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * routes));
        })
        ->Unit(benchmark::kMillisecond);

    // Every route of both sides given its status, on a freshly built Asic
    // (not timed): the kernel caches start empty, as in a run of check.
    benchmark::RegisterBenchmark(
        ("check every route/" + scale_name(scale)).c_str(),
        [scale](benchmark::State& state) {
          const Platform platform = replay(scale);
          std::size_t routes = 0;
          for (auto _ : state) {
            state.PauseTiming();
            auto asic = std::make_unique<Asic>(platform);
            const auto kernel = kern::read_kernel_routes(*platform.host);
            state.ResumeTiming();
            const auto result = asic->audit(kernel, {}, {}, false);
            routes = result.routes.size();
            state.PauseTiming();
            asic.reset();
            state.ResumeTiming();
          }
          state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * routes));
        })
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace grpaudit::bench

// grpaudit check --snapshot as a user runs it, a process per run, with its
// wall-clock time and peak resident memory; and the floor, the same file read
// and its texts split into lines by a process that does nothing else.

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>

#include "bench_support.h"
#include "benchmarks.h"

namespace grpaudit::bench {
namespace {

// The sizes the command runs at: the default switch and four times it.
const std::vector<double> kCommandScales = {1.0, 4.0};

double file_mb(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return static_cast<double>(st.st_size);
}

void measure(benchmark::State& state, const std::vector<std::string>& argv, double scale,
             int ok_status) {
  long peak_kb = 0;
  for (auto _ : state) {
    const ProcessRun run = run_process(argv);
    if (run.status != ok_status) {
      state.SkipWithError(("exit status " + std::to_string(run.status)).c_str());
      break;
    }
    state.SetIterationTime(run.seconds);
    peak_kb = std::max(peak_kb, run.peak_rss_kb);
  }
  const auto& expected = generated(scale).expected;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file_mb(argv.back())));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() *
                                                    (expected.hw_routes + expected.kernel_routes)));
  state.counters["peak_rss_mb"] = static_cast<double>(peak_kb) / 1024.0;
}

}  // namespace

void register_command_benchmarks() {
  for (const double scale : kCommandScales) {
    // Faults are planted, so check exits 1.
    benchmark::RegisterBenchmark(
        ("grpaudit check --snapshot/" + scale_name(scale)).c_str(),
        [scale](benchmark::State& state) {
          measure(state, {grpaudit_path(), "check", "--snapshot", snapshot_file(scale)}, scale, 1);
        })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(
        ("grpaudit check --snapshot --json/" + scale_name(scale)).c_str(),
        [scale](benchmark::State& state) {
          measure(state, {grpaudit_path(), "check", "--json", "--snapshot", snapshot_file(scale)},
                  scale, 1);
        })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(
        ("floor: read and split into lines/" + scale_name(scale)).c_str(),
        [scale](benchmark::State& state) {
          measure(state, {self_path(), "--floor", snapshot_file(scale)}, scale, 0);
        })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace grpaudit::bench

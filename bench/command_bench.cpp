// grpaudit check --snapshot as a user runs it, a process per run, with its
// wall-clock time and peak resident memory; and the floor, the same file read
// and its texts split into lines by a process that does nothing else.

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

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

std::vector<std::string> check_argv(double scale) {
  return {grpaudit_path(), "check", "--snapshot", snapshot_file(scale)};
}

// The growth from the default switch to four times it, from runs of the two
// made side by side: the machine's speed drifts from minute to minute, and a
// spell at half speed that covers the medians of one size and not the
// other's skews their ratio, not that of two neighbouring runs. The order
// alternates, so that neither size always starts on the memory the other has
// just given back. The iteration's time is the large switch's; `growth` is
// the median ratio of the repetition's pairs.
void measure_growth(benchmark::State& state) {
  std::vector<double> ratios;
  bool small_first = true;
  for (auto _ : state) {
    ProcessRun small;
    ProcessRun large;
    if (small_first) {
      small = run_process(check_argv(1.0));
      large = run_process(check_argv(4.0));
    } else {
      large = run_process(check_argv(4.0));
      small = run_process(check_argv(1.0));
    }
    small_first = !small_first;
    // Faults are planted, so check exits 1.
    if (small.status != 1 || large.status != 1 || small.seconds <= 0) {
      const std::string why =
          "exit status " + std::to_string(small.status) + " and " + std::to_string(large.status);
      state.SkipWithError(why.c_str());
      break;
    }
    state.SetIterationTime(large.seconds);
    ratios.push_back(large.seconds / small.seconds);
  }
  if (state.error_occurred() || ratios.empty()) return;
  std::sort(ratios.begin(), ratios.end());
  const std::size_t n = ratios.size();
  state.counters["growth"] = (ratios[(n - 1) / 2] + ratios[n / 2]) / 2;
}

}  // namespace

void register_command_benchmarks() {
  for (const double scale : kCommandScales) {
    // Faults are planted, so check exits 1.
    benchmark::RegisterBenchmark(
        ("grpaudit check --snapshot/" + scale_name(scale)).c_str(),
        [scale](benchmark::State& state) { measure(state, check_argv(scale), scale, 1); })
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
  benchmark::RegisterBenchmark("growth: check, 1x and 4x in pairs/4x", measure_growth)
      ->Iterations(4)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond);
}

}  // namespace grpaudit::bench

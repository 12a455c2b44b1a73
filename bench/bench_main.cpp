// grpaudit_bench: every suite, printed as one table of medians.
//
//   grpaudit_bench [--snapshot-dir DIR] [benchmark options]
//   grpaudit_bench --floor FILE      (the floor's own process)

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "benchmarks.h"

namespace grpaudit::bench {
namespace {

std::string machine() {
  std::string model = "?";
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);) {
    if (line.starts_with("model name")) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  long mem_kb = 0;
  std::ifstream meminfo("/proc/meminfo");
  for (std::string line; std::getline(meminfo, line);) {
    if (line.starts_with("MemTotal:")) mem_kb = std::stol(line.substr(9));
  }
  return fmt::format("{} CPUs ({}), {:.1f} GiB memory", ::sysconf(_SC_NPROCESSORS_ONLN), model,
                     static_cast<double>(mem_kb) / (1024.0 * 1024.0));
}

// Collects the median of every benchmark and prints them as one table.
class TableReporter : public benchmark::BenchmarkReporter {
 public:
  bool ReportContext(const Context&) override {
    std::cout << "grpaudit benchmarks on " << machine() << "\n";
    std::cout << "medians; sizes are factors of the default large switch "
                 "(128 ports, 32,000 routes)\n\n"
              << std::flush;
    return true;
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!single && run.aggregate_name != "median") continue;
      Row row;
      const std::string name = run.run_name.function_name;
      const auto slash = name.rfind('/');
      row.label = name.substr(0, slash);
      row.size = slash == std::string::npos ? "" : name.substr(slash + 1);
      row.error = run.error_occurred ? run.error_message : "";
      row.ms = run.GetAdjustedRealTime() * to_ms(run.time_unit);
      row.mb_per_s = counter(run, "bytes_per_second", 1e-6);
      row.per_s = counter(run, "items_per_second", 1.0);
      row.rss_mb = counter(run, "peak_rss_mb", 1.0);
      row.growth = counter(run, "growth", 1.0);
      rows_.push_back(row);
      std::cerr << "  " << name << ": " << fmt::format("{:.1f}", row.ms) << " ms\n";
    }
  }

  void Finalize() override {
    std::cout << fmt::format("{:<38} {:>5} {:>10} {:>9} {:>12} {:>9} {:>8}\n", "benchmark", "size",
                             "time ms", "MB/s", "routes/s", "peak MB", "x floor");
    std::cout << std::string(97, '-') << "\n";
    for (const Row& r : rows_) {
      if (!r.error.empty()) {
        std::cout << fmt::format("{:<38} {:>5} error: {}\n", r.label, r.size, r.error);
        continue;
      }
      const auto floor = floor_ms(r.size);
      const bool command = r.label.starts_with("grpaudit ");
      std::cout << fmt::format(
          "{:<38} {:>5} {:>10.1f} {:>9} {:>12} {:>9} {:>8}\n", r.label, r.size, r.ms,
          r.mb_per_s ? fmt::format("{:.0f}", *r.mb_per_s) : "",
          r.per_s && r.label.find("read ") != 0 ? fmt::format("{:.0f}", *r.per_s) : "",
          r.rss_mb ? fmt::format("{:.0f}", *r.rss_mb) : "",
          command && floor ? fmt::format("{:.1f}", r.ms / *floor) : "");
    }
    summary();
  }

 private:
  struct Row {
    std::string label, size, error;
    double ms = 0;
    std::optional<double> mb_per_s, per_s, rss_mb, growth;
  };

  static double to_ms(benchmark::TimeUnit unit) {
    switch (unit) {
      case benchmark::kNanosecond:
        return 1e-6;
      case benchmark::kMicrosecond:
        return 1e-3;
      case benchmark::kMillisecond:
        return 1.0;
      case benchmark::kSecond:
        return 1e3;
    }
    return 1.0;
  }

  static std::optional<double> counter(const Run& run, const char* name, double scale) {
    const auto it = run.counters.find(name);
    if (it == run.counters.end()) return std::nullopt;
    return it->second.value * scale;
  }

  const Row* find(const std::string& label, const std::string& size) const {
    for (const Row& r : rows_) {
      if (r.label == label && r.size == size && r.error.empty()) return &r;
    }
    return nullptr;
  }

  std::optional<double> floor_ms(const std::string& size) const {
    const Row* r = find("floor: read and split into lines", size);
    return r ? std::optional<double>(r->ms) : std::nullopt;
  }

  // The performance targets, checked against the medians above.
  void summary() const {
    std::cout << "\n";
    const Row* check = find("grpaudit check --snapshot", "1x");
    const Row* json = find("grpaudit check --snapshot --json", "1x");
    const Row* check4 = find("grpaudit check --snapshot", "4x");
    if (check != nullptr) {
      std::cout << fmt::format(
          "check --snapshot, default switch: {:.0f} ms (target <= 450), peak {:.0f} MB "
          "(target <= 150)\n",
          check->ms, check->rss_mb.value_or(0));
      if (const auto floor = floor_ms("1x")) {
        std::cout << fmt::format("  {:.1f} times the floor of {:.0f} ms (aim <= 10)\n",
                                 check->ms / *floor, *floor);
      }
      if (json != nullptr) {
        std::cout << fmt::format(
            "  --json: {:.2f} times the text report (target <= 1.3), peak {:.0f} MB "
            "(target <= 150)\n",
            json->ms / check->ms, json->rss_mb.value_or(0));
      }
    }
    const bool medians = check != nullptr && check4 != nullptr;
    if (medians) {
      std::cout << fmt::format("check at 4x size: {:.2f} times the time at 1x (target <= 5)\n",
                               check4->ms / check->ms);
    }
    // The same growth from runs side by side: spared the drift of the
    // machine's speed between the two medians, not the state of its memory.
    if (const Row* paired = find("growth: check, 1x and 4x in pairs", "4x");
        paired != nullptr && paired->growth) {
      const double growth = *paired->growth;
      std::cout << (medians ? fmt::format("  {:.2f} times in pairs of runs side by side\n", growth)
                            : fmt::format("check at 4x size: {:.2f} times the time at 1x in pairs "
                                          "of runs side by side (target <= 5)\n",
                                          growth));
    }
    const Row* slowest = nullptr;
    std::size_t readers = 0, below = 0;
    for (const Row& r : rows_) {
      if (!r.label.starts_with("read ") || !r.mb_per_s) continue;
      ++readers;
      if (*r.mb_per_s < 200) ++below;
      if (slowest == nullptr || *r.mb_per_s < *slowest->mb_per_s) slowest = &r;
    }
    if (slowest != nullptr) {
      std::cout << fmt::format(
          "slowest reader: {} at {}, {:.0f} MB/s (target >= 200); {} of {} figures below\n",
          slowest->label, slowest->size, *slowest->mb_per_s, below, readers);
    }
  }

  std::vector<Row> rows_;
};

}  // namespace
}  // namespace grpaudit::bench

int main(int argc, char** argv) {
  using namespace grpaudit::bench;
  // The library, and the floor, run with the memory grpaudit itself runs with.
  if (argc == 3 && std::strcmp(argv[1], "--floor") == 0) {
    std::cout << floor_of(argv[2]) << "\n";
    return 0;
  }
  start_launcher();

  // Our own option first; benchmark's defaults give medians of five runs.
  std::vector<char*> args{argv[0]};
  bool repetitions = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--snapshot-dir") == 0 && i + 1 < argc) {
      set_snapshot_dir(argv[++i]);
      continue;
    }
    if (std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0) repetitions = true;
    args.push_back(argv[i]);
  }
  std::string reps = "--benchmark_repetitions=5";
  std::string aggregates = "--benchmark_report_aggregates_only=true";
  if (!repetitions) {
    args.push_back(reps.data());
    args.push_back(aggregates.data());
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;

  register_reader_benchmarks();
  register_check_benchmarks();
  register_command_benchmarks();

  TableReporter table;
  benchmark::RunSpecifiedBenchmarks(&table);
  benchmark::Shutdown();
  return 0;
}

#include "metrics.h"

#include <fmt/format.h>

#include "grpaudit/platform/replace_file.h"

namespace grpaudit::cli {
namespace {

void metric(std::string& out, const char* name, const char* type, const char* help) {
  out += fmt::format("# HELP {} {}\n# TYPE {} {}\n", name, help, name, type);
}

}  // namespace

std::string metrics_text(const RunMetrics& run) {
  using check::Status;
  const check::AuditResult* r = run.result;
  std::string out;
  if (r != nullptr) {
    metric(out, "grpaudit_routes", "gauge", "Routes of the last run, by status.");
    for (const Status s : check::kAllStatuses) {
      out += fmt::format("grpaudit_routes{{status=\"{}\"}} {}\n", check::status_name(s),
                         r->counts.at(s));
    }
    for (const Status s : {Status::kAbsent, Status::kTransient}) {
      const auto it = r->counts.find(s);
      out += fmt::format("grpaudit_routes{{status=\"{}\"}} {}\n", check::status_name(s),
                         it == r->counts.end() ? 0 : it->second);
    }
    metric(out, "grpaudit_faults", "gauge", "Faulty routes of the last run.");
    out += fmt::format("grpaudit_faults {}\n", r->faults());
    metric(out, "grpaudit_warnings", "gauge",
           "Failures the last run tolerated (see its report's warnings).");
    out += fmt::format("grpaudit_warnings {}\n", r->warnings.size());
  }
  metric(out, "grpaudit_run_success", "gauge", "Whether the last run completed (1) or failed (0).");
  out += fmt::format("grpaudit_run_success {}\n", r != nullptr ? 1 : 0);
  metric(out, "grpaudit_last_run_timestamp_seconds", "gauge",
         "When the last run ended, in seconds since the epoch.");
  out += fmt::format("grpaudit_last_run_timestamp_seconds {:.3f}\n", run.end_time);
  metric(out, "grpaudit_run_duration_seconds", "gauge", "How long the last run took.");
  out += fmt::format("grpaudit_run_duration_seconds {:.6f}\n", run.duration);
  metric(out, "grpaudit_sdk_commands_total", "counter",
         "SDK shell commands and memory-table reads of the last run.");
  out += fmt::format("grpaudit_sdk_commands_total {}\n", run.sdk_commands);
  metric(out, "grpaudit_up", "gauge",
         "Whether the last run could read the switch (1) or not (0), with what it read.");
  out += fmt::format("grpaudit_up{{source=\"{}\",version=\"{}\"}} {}\n",
                     run.live ? "live" : "snapshot", GRPAUDIT_VERSION, r != nullptr ? 1 : 0);
  return out;
}

void write_metrics_file(const std::string& path, const RunMetrics& run) {
  platform::replace_file(path, metrics_text(run));
}

}  // namespace grpaudit::cli

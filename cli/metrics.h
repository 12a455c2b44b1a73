#pragma once
// The run as Prometheus metrics, in the text format node_exporter's textfile
// collector reads: each switch checks itself, Prometheus collects and alerts.

#include <cstddef>
#include <string>

#include "grpaudit/check/audit.h"

namespace grpaudit::cli {

struct RunMetrics {
  const check::AuditResult* result = nullptr;  // null when the run failed
  bool live = false;                           // the live switch, not a snapshot
  double end_time = 0;                         // seconds since the epoch
  double duration = 0;                         // seconds
  std::size_t sdk_commands = 0;                // SDK shell commands and table reads
};

// The metrics text of one run.
std::string metrics_text(const RunMetrics& run);

// Replaces `path` with the metrics of `run`, whole or not at all.
void write_metrics_file(const std::string& path, const RunMetrics& run);

}  // namespace grpaudit::cli

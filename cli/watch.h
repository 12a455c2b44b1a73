#pragma once
// grpaudit watch: the check again and again, logging only what changes: a
// route that becomes faulty, a fault that clears, a run that fails and one
// that works again; on standard error and, if asked, to syslog.

#include <chrono>
#include <cstddef>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "compare.h"

namespace grpaudit::cli {

// A line to log, with its syslog priority (LOG_WARNING, LOG_NOTICE, LOG_ERR).
struct LogLine {
  int priority;
  std::string text;

  friend bool operator==(const LogLine&, const LogLine&) = default;
};

// What changed from one run to the next. A run is its routes, or its error
// when it failed. `before` holds the routes of the last run that worked
// (none before the first) and the error of the run before, if it failed.
struct RunOutcome {
  std::vector<ReportedRoute> routes;
  std::optional<std::string> error;
};
std::vector<LogLine> changes_to_log(const RunOutcome* before, const RunOutcome& now);

struct WatchOptions {
  std::chrono::duration<double> interval{0};
  std::size_t count = 0;  // runs; 0: until stopped
  bool syslog = false;
};

// Runs `run` (given the run's number, from 0) as `opts` says, logging the
// changes on `err` ("grpaudit: " and the line) and to syslog. The exit
// status is the last run's: 0 no fault, 1 faults, 2 failed.
int watch(const WatchOptions& opts, const std::function<RunOutcome(std::size_t)>& run,
          std::ostream& err);

}  // namespace grpaudit::cli

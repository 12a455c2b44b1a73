#include "watch.h"

#include <syslog.h>

#include <ostream>
#include <thread>

#include <fmt/format.h>

namespace grpaudit::cli {

std::vector<LogLine> changes_to_log(const RunOutcome* before, const RunOutcome& now) {
  std::vector<LogLine> lines;
  const bool failed_before = before != nullptr && before->error.has_value();
  if (now.error) {
    if (!failed_before) lines.push_back({LOG_ERR, "run failed: " + *now.error});
    return lines;
  }
  if (failed_before) lines.push_back({LOG_NOTICE, "run works again"});
  static const RunOutcome kNone;
  const RunOutcome& last = before == nullptr ? kNone : *before;
  for (const RouteChange& c : compare_reports(last.routes, now.routes)) {
    if (c.new_fault()) {
      const auto& r = *c.new_route;
      lines.push_back({LOG_WARNING, r.messages.empty()
                                        ? fmt::format("fault: {}: {}", r.key, r.status)
                                        : fmt::format("fault: {}: {}: {}", r.key, r.status,
                                                      fmt::join(r.messages, "; "))});
    } else if (c.old_route && c.old_route->fault && !(c.new_route && c.new_route->fault)) {
      lines.push_back({LOG_NOTICE, fmt::format("cleared: {}: now {}", c.old_route->key,
                                               c.new_route ? c.new_route->status : "gone")});
    }
  }
  return lines;
}

int watch(const WatchOptions& opts, const std::function<RunOutcome(std::size_t)>& run,
          std::ostream& err) {
  if (opts.syslog) ::openlog("grpaudit", LOG_PID, LOG_DAEMON);
  std::optional<RunOutcome> before;
  int status = 0;
  for (std::size_t n = 0; opts.count == 0 || n < opts.count; ++n) {
    if (n > 0) std::this_thread::sleep_for(opts.interval);
    RunOutcome now = run(n);
    for (const LogLine& line : changes_to_log(before ? &*before : nullptr, now)) {
      err << "grpaudit: " << line.text << "\n" << std::flush;
      if (opts.syslog) ::syslog(line.priority, "%s", line.text.c_str());
    }
    status = now.error ? 2 : 0;
    for (const auto& r : now.routes) {
      if (r.fault) status = 1;
    }
    // A failed run leaves the routes of the last run that worked to compare
    // with, and says that the last run failed.
    if (now.error && before) {
      before->error = std::move(now.error);
    } else {
      before = std::move(now);
    }
  }
  if (opts.syslog) ::closelog();
  return status;
}

}  // namespace grpaudit::cli

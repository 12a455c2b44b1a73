#pragma once
// grpaudit compare OLD NEW: what changed between two JSON reports of check,
// for the before and after of an upgrade or a change window.

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "grpaudit/check/audit.h"

namespace grpaudit::cli {

// A route as a report gives it: what a comparison of reports looks at.
struct ReportedRoute {
  std::string key;
  std::string status;
  std::vector<std::string> messages;
  bool fault = false;

  friend bool operator==(const ReportedRoute&, const ReportedRoute&) = default;
};

// The routes of an audit, as its report gives them.
std::vector<ReportedRoute> reported_routes(const check::AuditResult& result);

// The routes of the JSON report in `path`, in its order. Throws
// std::runtime_error naming the file for anything that is not a report of
// check (an error object included), std::system_error when it cannot be read.
std::vector<ReportedRoute> read_report(const std::string& path);

// What happened to one route, the first that applies: it appeared or
// disappeared, became faulty, was cleared, or changed its status or messages.
struct RouteChange {
  std::string kind;  // "appeared", "disappeared", "new-fault", "cleared", "changed"
  std::optional<ReportedRoute> old_route, new_route;
  // A fault that was not one before: a route that became faulty, or
  // appeared faulty.
  bool new_fault() const;
};

// The changes from `old_routes` to `new_routes`, in byte-wise order of key.
std::vector<RouteChange> compare_reports(const std::vector<ReportedRoute>& old_routes,
                                         const std::vector<ReportedRoute>& new_routes);

// One line a change (with the new messages indented below it), then a summary.
void write_changes_text(std::ostream& out, const std::vector<RouteChange>& changes);
// {"changes": [...], "summary": {...}}, compact or indented.
void write_changes_json(std::ostream& out, const std::vector<RouteChange>& changes, bool pretty);

}  // namespace grpaudit::cli

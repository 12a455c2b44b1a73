#pragma once
// Writing an audit: a text report for people, JSON for programs.

#include <iosfwd>
#include <string>
#include <vector>

#include "grpaudit/check/audit.h"

namespace grpaudit::cli {

// Every faulty route (status, kernel side, the route's dump with its error
// lines, what the kernel expected), then a one-line summary. `color` adds
// terminal colours.
void write_text_report(std::ostream& out, const check::AuditResult& result, bool color);

// One JSON object, {"routes": [...], "summary": {...}}, with "warnings":
// [...] after the summary when the run has any: compact with one route per
// line, or with `pretty` indented by two.
void write_json_report(std::ostream& out, const check::AuditResult& result, bool pretty);

// "grpaudit: warning: W" for each warning.
void write_warnings(std::ostream& err, const std::vector<std::string>& warnings);

// {"error": {"kind": K, "message": M}}, compact or indented.
void write_json_error(std::ostream& out, const std::string& kind, const std::string& message,
                      bool pretty);

}  // namespace grpaudit::cli

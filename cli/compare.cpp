#include "compare.h"

#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "grpaudit/check/audit.h"
#include "grpaudit/util/json_errors.h"
#include "grpaudit/util/json_parse.h"

namespace grpaudit::cli {
namespace {

namespace sj = simdjson;

constexpr const char* kKinds[] = {"new-fault", "cleared", "appeared", "disappeared", "changed"};

// Whether `status` is a fault; the statuses are the audit's own.
std::optional<bool> fault_of(std::string_view status) {
  for (const check::Status s : check::kAllStatuses) {
    if (check::status_name(s) == status) return check::is_fault(s);
  }
  for (const check::Status s : {check::Status::kAbsent, check::Status::kTransient}) {
    if (check::status_name(s) == status) return false;
  }
  return std::nullopt;
}

std::string read_text(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::system_error(errno, std::generic_category(), "cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

nlohmann::ordered_json side(const std::optional<ReportedRoute>& r) {
  if (!r) return nullptr;
  return {{"status", r->status}, {"messages", r->messages}};
}

}  // namespace

std::vector<ReportedRoute> reported_routes(const check::AuditResult& result) {
  std::vector<ReportedRoute> out;
  out.reserve(result.routes.size());
  for (const check::RouteResult& r : result.routes) {
    ReportedRoute& route = out.emplace_back();
    route.key = r.key;
    route.status = check::status_name(r.status);
    route.fault = check::is_fault(r.status);
    if (r.hardware != nullptr) {
      route.messages = r.hardware->iif_mismatch;
      route.messages.insert(route.messages.end(), r.hardware->oil_mismatch.begin(),
                            r.hardware->oil_mismatch.end());
    }
  }
  return out;
}

bool RouteChange::new_fault() const {
  return new_route && new_route->fault && (!old_route || !old_route->fault);
}

std::vector<ReportedRoute> read_report(const std::string& path) {
  const std::string text = read_text(path);
  const auto bad = [&](const std::string& why) {
    return std::runtime_error(path + ": not a report of grpaudit check --json: " + why);
  };
  sj::dom::parser parser;
  sj::dom::element doc;
  try {
    doc = util::parse_json(parser, text);
  } catch (const nlohmann::json::parse_error& e) {
    const auto [line, column] = util::line_and_column(text, e.byte > 0 ? e.byte - 1 : 0);
    throw bad(fmt::format("not valid JSON at line {}, column {}: {}", line, column,
                          util::parse_reason(e)));
  } catch (const nlohmann::json::exception& e) {
    throw bad("not valid JSON: " + util::parse_reason(e));
  }
  sj::dom::array routes;
  if (doc["routes"].get(routes)) {
    std::string_view message;
    if (!doc["error"]["message"].get(message)) throw bad("its run failed: " + std::string(message));
    throw bad("no \"routes\" array");
  }
  std::vector<ReportedRoute> out;
  for (const sj::dom::element route : routes) {
    ReportedRoute r;
    std::string_view key, status;
    sj::dom::array messages;
    if (route["key"].get(key) || route["status"].get(status) || route["messages"].get(messages))
      throw bad("route " + std::to_string(out.size() + 1) + " lacks its key, status or messages");
    r.key = key;
    r.status = status;
    const auto fault = fault_of(status);
    if (!fault) throw bad("route " + r.key + " has the unknown status " + r.status);
    r.fault = *fault;
    for (const sj::dom::element m : messages) {
      std::string_view line;
      if (m.get(line)) throw bad("route " + r.key + " has a message that is not a text");
      r.messages.emplace_back(line);
    }
    out.push_back(std::move(r));
  }
  return out;
}

std::vector<RouteChange> compare_reports(const std::vector<ReportedRoute>& old_routes,
                                         const std::vector<ReportedRoute>& new_routes) {
  // Of a key given twice, the later stands, as in the kernel's listing.
  std::map<std::string, std::pair<const ReportedRoute*, const ReportedRoute*>> by_key;
  for (const auto& r : old_routes) by_key[r.key].first = &r;
  for (const auto& r : new_routes) by_key[r.key].second = &r;
  std::vector<RouteChange> changes;
  for (const auto& [key, sides] : by_key) {
    const auto [was, now] = sides;
    RouteChange c;
    if (was != nullptr) c.old_route = *was;
    if (now != nullptr) c.new_route = *now;
    if (was == nullptr) {
      c.kind = "appeared";
    } else if (now == nullptr) {
      c.kind = "disappeared";
    } else if (!was->fault && now->fault) {
      c.kind = "new-fault";
    } else if (was->fault && !now->fault) {
      c.kind = "cleared";
    } else if (was->status != now->status || was->messages != now->messages) {
      c.kind = "changed";
    } else {
      continue;
    }
    changes.push_back(std::move(c));
  }
  return changes;
}

void write_changes_text(std::ostream& out, const std::vector<RouteChange>& changes) {
  std::map<std::string, std::size_t> counts;
  for (const auto& c : changes) {
    ++counts[c.kind];
    const std::string was = c.old_route ? c.old_route->status : "none";
    const std::string now = c.new_route ? c.new_route->status : "none";
    out << fmt::format("{}: {}: {} -> {}\n", c.kind,
                       c.new_route ? c.new_route->key : c.old_route->key, was, now);
    if (c.new_route) {
      for (const auto& m : c.new_route->messages) out << "    " << m << "\n";
    }
  }
  std::vector<std::string> parts;
  for (const char* kind : kKinds) parts.push_back(fmt::format("{} {}", counts[kind], kind));
  out << fmt::format("{} change{}: {}\n", changes.size(), changes.size() == 1 ? "" : "s",
                     fmt::join(parts, ", "));
}

void write_changes_json(std::ostream& out, const std::vector<RouteChange>& changes, bool pretty) {
  nlohmann::ordered_json doc;
  doc["changes"] = nlohmann::ordered_json::array();
  std::map<std::string, std::size_t> counts;
  for (const auto& c : changes) {
    ++counts[c.kind];
    doc["changes"].push_back({{"key", c.new_route ? c.new_route->key : c.old_route->key},
                              {"change", c.kind},
                              {"old", side(c.old_route)},
                              {"new", side(c.new_route)}});
  }
  for (const char* kind : kKinds) doc["summary"][kind] = counts[kind];
  out << doc.dump(pretty ? 2 : -1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace grpaudit::cli

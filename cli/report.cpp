#include "report.h"

#include <fmt/color.h>
#include <fmt/format.h>

#include <absl/container/flat_hash_map.h>
#include <nlohmann/json.hpp>
#include <ostream>

#include "grpaudit/check/dump.h"
#include "grpaudit/util/json_text.h"
#include "grpaudit/util/text.h"

namespace grpaudit::cli {

using check::AuditResult;
using check::is_fault;
using check::RouteResult;
using check::Status;
using check::status_name;
using util::JsonText;
namespace {

using ojson = nlohmann::ordered_json;

const fmt::text_style kRed = fmt::fg(fmt::terminal_color::red);
const fmt::text_style kGreen = fmt::fg(fmt::terminal_color::green);
const fmt::text_style kYellow = fmt::fg(fmt::terminal_color::yellow);
const fmt::text_style kBold = fmt::emphasis::bold;

// Identities by their texts, in the numbers' (byte-wise) order.
std::string joined(const AuditResult& result, const std::vector<std::uint32_t>& ids) {
  if (ids.empty()) return "(none)";
  std::string out;
  for (const std::uint32_t id : ids) {
    if (!out.empty()) out += ' ';
    out += result.identities[id];
  }
  return out;
}

std::string indented(const std::string& text, const std::string& prefix) {
  std::string out;
  for (const auto line : util::split_lines(text)) {
    out += prefix;
    out += line;
    out += '\n';
  }
  return out;
}

}  // namespace

void write_text_report(std::ostream& out, const AuditResult& result, bool color) {
  const auto paint = [color](const fmt::text_style& style, std::string_view text) {
    return color ? fmt::format("{}", fmt::styled(text, style)) : std::string(text);
  };
  for (const RouteResult& r : result.routes) {
    // An absent key is no fault, but shown: it may be a typing error; and so
    // is a fault that a second read did not confirm.
    const bool shown_sound = r.status == Status::kAbsent || r.status == Status::kTransient;
    if (!is_fault(r.status) && !shown_sound) continue;
    out << paint(shown_sound ? kYellow : kRed, std::string(status_name(r.status))) << ": "
        << paint(kBold, r.key) << "\n";
    if (r.first) {
      out << "  first read: " << status_name(r.first->status);
      for (const auto& m : r.first->messages)
        out << (&m == &r.first->messages.front() ? ": " : "; ") << m;
      out << "\n";
    }
    if (r.kernel != nullptr) {
      out << "  kernel: iif " << r.kernel->iif << ", oil "
          << (r.kernel->oil.empty() ? std::string("(none)")
                                    : fmt::format("{}", fmt::join(r.kernel->oil, " ")))
          << "\n";
    } else {
      out << "  kernel: no route\n";
    }
    if (r.hardware != nullptr) {
      out << "  hardware:\n" << indented(check::dump_one_mroute(*r.hardware, *r.groups), "    ");
    } else {
      out << "  hardware: no route\n";
    }
    if (r.expected) {
      out << "  expected: iif "
          << (r.expected->iif ? std::to_string(*r.expected->iif) : std::string("(none)"))
          << "; routed " << joined(result, r.expected->l3) << "; bridged "
          << joined(result, r.expected->l2) << "\n";
    }
    out << "\n";
  }

  std::vector<std::string> parts;
  for (const auto& [s, n] : result.summary())
    parts.push_back(fmt::format("{} {}", n, status_name(s)));
  const std::size_t faults = result.faults();
  const std::string verdict =
      faults == 0 ? paint(kGreen, "no faults")
                  : paint(kRed, fmt::format("{} fault{}", faults, faults == 1 ? "" : "s"));
  out << fmt::format("{} route{}, {}: {}\n", result.routes.size(),
                     result.routes.size() == 1 ? "" : "s", verdict, fmt::join(parts, ", "));
}

void write_json_report(std::ostream& out, const AuditResult& result, bool pretty) {
  // Written route by route, each as dumping the whole document would write
  // it: the report of a large switch runs to tens of megabytes, and the
  // document would be several times that. Compact, a route per line;
  // pretty, indented by two.
  constexpr unsigned kRouteIndent = 4;
  std::string text;
  JsonText json(text, pretty, kRouteIndent);
  // A group's identities, written once: many routes share a group. (A
  // confirmed result reads groups of two reads.)
  absl::flat_hash_map<std::pair<const void*, std::int64_t>, std::pair<std::string, std::string>>
      group_identities;
  std::vector<std::string> l3, l2;
  const auto identities_of = [&](const RouteResult& route, unsigned indent) -> const auto& {
    auto [it, added] = group_identities.try_emplace(
        std::pair<const void*, std::int64_t>(route.groups, route.hardware->grp));
    if (added) {
      check::hardware_identities(route, l3, l2);
      JsonText(it->second.first, pretty, indent).strings(l3);
      JsonText(it->second.second, pretty, indent).strings(l2);
    }
    return it->second;
  };

  // And an identity's text as JSON, written once: routes name the same few
  // thousand identities again and again.
  std::vector<std::string> escaped(result.identities.size());
  const auto write_ids = [&](const std::vector<std::uint32_t>& ids) {
    json.begin_array();
    for (const std::uint32_t id : ids) {
      if (escaped[id].empty()) JsonText(escaped[id], false).string(result.identities[id]);
      json.raw(escaped[id]);
    }
    json.end_array();
  };

  out << (pretty ? "{\n  \"routes\": [" : "{\"routes\":[");
  for (const RouteResult& r : result.routes) {
    text.clear();
    if (&r != &result.routes.front()) text += ',';
    text += pretty ? "\n    " : "\n";
    json.begin_object();
    json.key("key").string(r.key);
    json.key("status").string(status_name(r.status));
    json.key("kernel");
    if (r.kernel != nullptr) {
      json.begin_object();
      json.key("iif").string(r.kernel->iif);
      json.key("oil").strings(r.kernel->oil);
      json.end_object();
    } else {
      json.null();
    }
    json.key("hardware");
    if (r.hardware != nullptr) {
      json.begin_object();
      json.key("iif").number(r.hardware->iif);
      json.key("group").number(r.hardware->grp);
      const auto& [l3_text, l2_text] = identities_of(r, json.indent());
      json.key("l3").raw(l3_text);
      json.key("l2").raw(l2_text);
      json.end_object();
    } else {
      json.null();
    }
    if (r.expected) {
      json.key("expected").begin_object();
      json.key("iif");
      if (r.expected->iif) {
        json.number(*r.expected->iif);
      } else {
        json.null();
      }
      json.key("l3");
      write_ids(r.expected->l3);
      json.key("l2");
      write_ids(r.expected->l2);
      json.end_object();
    }
    json.key("messages").begin_array();
    if (r.hardware != nullptr) {
      for (const auto& m : r.hardware->iif_mismatch) json.string(m);
      for (const auto& m : r.hardware->oil_mismatch) json.string(m);
    }
    json.end_array();
    if (r.first) {
      json.key("first").begin_object();
      json.key("status").string(status_name(r.first->status));
      json.key("messages").strings(r.first->messages);
      json.end_object();
    }
    json.end_object();
    out << text;
  }
  if (!result.routes.empty()) out << (pretty ? "\n  " : "\n");
  out << ']';
  text.clear();
  JsonText summary(text, pretty, 2);
  summary.begin_object();
  for (const auto& [s, n] : result.summary())
    summary.key(status_name(s)).number(static_cast<std::int64_t>(n));
  summary.end_object();
  out << (pretty ? ",\n  \"summary\": " : ",\"summary\":") << text;
  // Only a run that tolerated something says so: every other report stays
  // as it has always been.
  if (!result.warnings.empty()) {
    text.clear();
    JsonText warnings(text, pretty, 2);
    warnings.begin_array();
    for (const auto& w : result.warnings) warnings.string(w);
    warnings.end_array();
    out << (pretty ? ",\n  \"warnings\": " : ",\"warnings\":") << text;
  }
  out << (pretty ? "\n}\n" : "}\n");
}

void write_warnings(std::ostream& err, const std::vector<std::string>& warnings) {
  for (const auto& w : warnings) err << "grpaudit: warning: " << w << "\n";
}

void write_json_error(std::ostream& out, const std::string& kind, const std::string& message,
                      bool pretty) {
  ojson doc;
  doc["error"] = {{"kind", kind}, {"message", message}};
  out << doc.dump(pretty ? 2 : -1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace grpaudit::cli

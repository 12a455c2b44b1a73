#include "report.h"

#include <fmt/color.h>
#include <fmt/format.h>

#include <nlohmann/json.hpp>
#include <ostream>

#include "grpaudit/util/text.h"

namespace grpaudit::cli {

using check::AuditResult;
using check::is_fault;
using check::kAllStatuses;
using check::RouteResult;
using check::Status;
using check::status_name;
namespace {

using ojson = nlohmann::ordered_json;

const fmt::text_style kRed = fmt::fg(fmt::terminal_color::red);
const fmt::text_style kGreen = fmt::fg(fmt::terminal_color::green);
const fmt::text_style kBold = fmt::emphasis::bold;

std::string joined(const std::set<std::string>& items) {
  return items.empty() ? "(none)" : fmt::format("{}", fmt::join(items, " "));
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

// The replication identities of a route's group, sorted; empty when the
// group is missing.
std::pair<std::set<std::string>, std::set<std::string>> hardware_identities(const Asic& asic,
                                                                            const Hmroute& r) {
  const auto g = asic.replication_groups.find(r.grp);
  if (g == asic.replication_groups.end()) return {};
  return {g->second.get_l3_linux_encaps(), g->second.get_l2_linux_encaps()};
}

std::vector<std::string> messages_of(const Hmroute* r) {
  std::vector<std::string> out;
  if (r == nullptr) return out;
  out.insert(out.end(), r->iif_mismatch.begin(), r->iif_mismatch.end());
  out.insert(out.end(), r->oil_mismatch.begin(), r->oil_mismatch.end());
  return out;
}

}  // namespace

void write_text_report(std::ostream& out, const Asic& asic, const AuditResult& result, bool color) {
  const auto paint = [color](const fmt::text_style& style, std::string_view text) {
    return color ? fmt::format("{}", fmt::styled(text, style)) : std::string(text);
  };
  for (const RouteResult& r : result.routes) {
    if (!is_fault(r.status)) continue;
    out << paint(kRed, std::string(status_name(r.status))) << ": " << paint(kBold, r.key) << "\n";
    if (r.kernel != nullptr) {
      out << "  kernel: iif " << r.kernel->iif << ", oil "
          << (r.kernel->oil.empty() ? std::string("(none)")
                                    : fmt::format("{}", fmt::join(r.kernel->oil, " ")))
          << "\n";
    } else {
      out << "  kernel: no route\n";
    }
    if (r.hardware != nullptr) {
      out << "  hardware:\n" << indented(asic._dump_one_mroute(*r.hardware), "    ");
    } else {
      out << "  hardware: no route\n";
    }
    if (r.expected) {
      out << "  expected: iif "
          << (r.expected->iif ? std::to_string(*r.expected->iif) : std::string("(none)"))
          << "; routed " << joined(r.expected->l3) << "; bridged " << joined(r.expected->l2)
          << "\n";
    }
    out << "\n";
  }

  std::vector<std::string> parts;
  for (const Status s : kAllStatuses) {
    parts.push_back(fmt::format("{} {}", result.counts.at(s), status_name(s)));
  }
  const std::size_t faults = result.faults();
  const std::string verdict =
      faults == 0 ? paint(kGreen, "no faults")
                  : paint(kRed, fmt::format("{} fault{}", faults, faults == 1 ? "" : "s"));
  out << fmt::format("{} route{}, {}: {}\n", result.routes.size(),
                     result.routes.size() == 1 ? "" : "s", verdict, fmt::join(parts, ", "));
}

void write_json_report(std::ostream& out, const Asic& asic, const AuditResult& result,
                       bool pretty) {
  // Written route by route, each as dumping the whole document would write
  // it at its depth: the report of a large switch runs to tens of megabytes,
  // and the document would be several times that. Compact, a route per
  // line; pretty, indented by two.
  std::string text;
  nlohmann::detail::serializer<ojson> serializer(nlohmann::detail::output_adapter<char>(text), ' ',
                                                 nlohmann::json::error_handler_t::replace);
  const auto dump = [&](const ojson& value, unsigned int depth) -> const std::string& {
    text.clear();
    serializer.dump(value, pretty, false, pretty ? 2 : 0, pretty ? depth : 0);
    return text;
  };
  const std::string_view route_start = pretty ? "\n    " : "\n";

  out << (pretty ? "{\n  \"routes\": [" : "{\"routes\":[");
  for (const RouteResult& r : result.routes) {
    ojson route;
    route["key"] = r.key;
    route["status"] = status_name(r.status);
    if (r.kernel != nullptr) {
      route["kernel"] = {{"iif", r.kernel->iif}, {"oil", r.kernel->oil}};
    } else {
      route["kernel"] = nullptr;
    }
    if (r.hardware != nullptr) {
      const auto [l3, l2] = hardware_identities(asic, *r.hardware);
      route["hardware"] = {
          {"iif", r.hardware->iif}, {"group", r.hardware->grp}, {"l3", l3}, {"l2", l2}};
    } else {
      route["hardware"] = nullptr;
    }
    if (r.expected) {
      ojson iif = nullptr;
      if (r.expected->iif) iif = *r.expected->iif;
      route["expected"] = {{"iif", iif}, {"l3", r.expected->l3}, {"l2", r.expected->l2}};
    }
    route["messages"] = messages_of(r.hardware);
    if (&r != &result.routes.front()) out << ',';
    out << route_start << dump(route, 4);
  }
  if (!result.routes.empty()) out << (pretty ? "\n  " : "\n");
  out << ']';
  ojson summary = ojson::object();
  for (const Status s : kAllStatuses) summary[std::string(status_name(s))] = result.counts.at(s);
  out << (pretty ? ",\n  \"summary\": " : ",\"summary\":") << dump(summary, 2)
      << (pretty ? "\n}\n" : "}\n");
}

void write_json_error(std::ostream& out, const std::string& kind, const std::string& message,
                      bool pretty) {
  ojson doc;
  doc["error"] = {{"kind", kind}, {"message", message}};
  out << doc.dump(pretty ? 2 : -1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace grpaudit::cli

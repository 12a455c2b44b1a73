#include "kernel_routes.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "grpaudit/records/route_key.h"
#include "grpaudit/util/text.h"

namespace grpaudit::cli {
namespace {

using nlohmann::json;

[[noreturn]] void bad(const char* command, const std::string& what) {
  throw std::runtime_error(std::string(command) + ": " + what);
}

json parse_array(const std::string& text, const char* command) {
  if (util::strip(text).empty()) return json::array();
  json doc = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) bad(command, "output is not JSON");
  if (!doc.is_array()) bad(command, "output is not a JSON array");
  return doc;
}

// A member that holds text or a number, as decimal text.
std::string text_or_number(const json& obj, const char* member, const char* command) {
  const auto it = obj.find(member);
  if (it == obj.end()) bad(command, std::string("an entry has no \"") + member + "\"");
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_integer()) return std::to_string(it->get<std::int64_t>());
  bad(command, std::string("\"") + member + "\" is neither text nor an integer");
}

std::string text_member(const json& obj, const char* member, const char* command) {
  const auto it = obj.find(member);
  if (it == obj.end() || !it->is_string()) {
    bad(command, std::string("an entry has no text \"") + member + "\"");
  }
  return it->get<std::string>();
}

std::string route_vrf(const json& route, const std::map<std::string, std::string>& vrfs) {
  if (!route.contains("table")) return "default";
  const std::string table = text_or_number(route, "table", kMrouteListCommand);
  if (table == "default" || table == "main" || table == "253" || table == "254") return "default";
  if (const auto it = vrfs.find(table); it != vrfs.end()) return it->second;
  return table;
}

}  // namespace

std::map<std::string, std::string> parse_vrf_tables(const std::string& vrf_json) {
  std::map<std::string, std::string> vrfs;
  for (const json& link : parse_array(vrf_json, kVrfListCommand)) {
    if (!link.is_object()) bad(kVrfListCommand, "an entry is not an object");
    // ip prints an empty object for every link its type filter leaves out.
    if (link.empty()) continue;
    const std::string name = text_member(link, "ifname", kVrfListCommand);
    const json* data = nullptr;
    if (const auto li = link.find("linkinfo"); li != link.end() && li->is_object()) {
      if (const auto d = li->find("info_data"); d != li->end() && d->is_object()) data = &*d;
    }
    if (data == nullptr) bad(kVrfListCommand, "VRF " + name + " has no linkinfo.info_data");
    vrfs[text_or_number(*data, "table", kVrfListCommand)] = name;
  }
  return vrfs;
}

std::map<std::string, KernelRoute> parse_kernel_routes(
    const std::string& mroute_json, const std::map<std::string, std::string>& vrfs) {
  std::map<std::string, KernelRoute> routes;
  for (const json& entry : parse_array(mroute_json, kMrouteListCommand)) {
    if (!entry.is_object()) bad(kMrouteListCommand, "an entry is not an object");
    KernelRoute r;
    r.src = text_member(entry, "src", kMrouteListCommand);
    r.dst = text_member(entry, "dst", kMrouteListCommand);
    r.iif = text_member(entry, "iif", kMrouteListCommand);
    if (entry.contains("state")) r.state = text_member(entry, "state", kMrouteListCommand);
    if (const auto mp = entry.find("multipath"); mp != entry.end()) {
      if (!mp->is_array()) bad(kMrouteListCommand, "\"multipath\" is not an array");
      for (const json& hop : *mp) {
        if (!hop.is_object()) bad(kMrouteListCommand, "a \"multipath\" entry is not an object");
        r.oil.push_back(text_member(hop, "oif", kMrouteListCommand));
      }
    }
    r.vrf = route_vrf(entry, vrfs);
    r.key = make_route_key(r.vrf, r.src, r.dst);
    routes.insert_or_assign(r.key, std::move(r));
  }
  return routes;
}

std::map<std::string, std::string> read_vrf_tables(Host& host) {
  const RunResult r = host.run({"/bin/ip", "-j", "-d", "link", "show", "type", "vrf"});
  if (r.status != 0) return {};
  return parse_vrf_tables(r.out);
}

std::map<std::string, KernelRoute> read_kernel_routes(Host& host) {
  const auto vrfs = read_vrf_tables(host);
  const RunResult r = host.run({"/bin/ip", "-j", "mroute", "show", "table", "all"});
  if (r.status != 0) throw std::runtime_error("cannot read the kernel's multicast routes");
  return parse_kernel_routes(r.out, vrfs);
}

}  // namespace grpaudit::cli

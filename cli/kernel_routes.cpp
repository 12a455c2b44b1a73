#include "kernel_routes.h"

#include <simdjson.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
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

std::string vrf_of_table(const std::string& table, const std::map<std::string, std::string>& vrfs) {
  if (table == "default" || table == "main" || table == "253" || table == "254") return "default";
  if (const auto it = vrfs.find(table); it != vrfs.end()) return it->second;
  return table;
}

std::string route_vrf(const json& route, const std::map<std::string, std::string>& vrfs) {
  if (!route.contains("table")) return "default";
  return vrf_of_table(text_or_number(route, "table", kMrouteListCommand), vrfs);
}

// The route listing of a large switch runs to megabytes. simdjson reads it in
// a fraction of the time, but only what is plainly well-formed: anything else
// (not JSON, a member of the wrong type, an integer beyond 64 bits) gives
// none, and the checked reading below has the last word, errors included.
namespace fast {

namespace sj = simdjson;

bool text(sj::dom::element e, std::string& out) {
  std::string_view v;
  if (e.get(v)) return false;
  out.assign(v);
  return true;
}

bool route(sj::dom::element e, const std::map<std::string, std::string>& vrfs, KernelRoute& r) {
  sj::dom::object obj;
  if (e.get(obj)) return false;
  // Of a member given twice the last counts, as in the checked reading.
  std::optional<sj::dom::element> src, dst, iif, state, multipath, table;
  for (const auto field : obj) {
    const std::string_view k = field.key;
    if (k == "src")
      src = field.value;
    else if (k == "dst")
      dst = field.value;
    else if (k == "iif")
      iif = field.value;
    else if (k == "state")
      state = field.value;
    else if (k == "multipath")
      multipath = field.value;
    else if (k == "table")
      table = field.value;
  }
  if (!src || !dst || !iif || !text(*src, r.src) || !text(*dst, r.dst) || !text(*iif, r.iif))
    return false;
  if (state && !text(*state, r.state)) return false;
  if (multipath) {
    sj::dom::array hops;
    if (multipath->get(hops)) return false;
    r.oil.reserve(std::min<std::size_t>(hops.size(), 1024));
    for (const auto hop : hops) {
      sj::dom::object h;
      if (hop.get(h)) return false;
      std::optional<sj::dom::element> oif;
      for (const auto field : h) {
        if (field.key == "oif") oif = field.value;
      }
      if (!oif || !text(*oif, r.oil.emplace_back())) return false;
    }
  }
  r.vrf = "default";
  if (table) {
    std::string t;
    std::int64_t n = 0;
    if (table->is_int64() && !table->get(n)) {
      t = std::to_string(n);
    } else if (!text(*table, t)) {
      return false;
    }
    r.vrf = vrf_of_table(t, vrfs);
  }
  r.key = make_route_key(r.vrf, r.src, r.dst);
  return true;
}

std::optional<std::map<std::string, KernelRoute>> routes(
    const std::string& listing, const std::map<std::string, std::string>& vrfs) {
  sj::dom::parser parser;
  sj::dom::array entries;
  if (parser.parse(listing).get(entries)) return std::nullopt;
  std::map<std::string, KernelRoute> out;
  for (const auto entry : entries) {
    KernelRoute r;
    if (!route(entry, vrfs, r)) return std::nullopt;
    std::string key = r.key;
    out.insert_or_assign(std::move(key), std::move(r));
  }
  return out;
}

}  // namespace fast

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
  if (util::strip(mroute_json).empty()) return {};
  if (auto routes = fast::routes(mroute_json, vrfs)) return std::move(*routes);
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
  const SharedRunResult r = host.run_shared({"/bin/ip", "-j", "mroute", "show", "table", "all"});
  if (r.status != 0) throw std::runtime_error("cannot read the kernel's multicast routes");
  return parse_kernel_routes(*r.out, vrfs);
}

}  // namespace grpaudit::cli

#include "grpaudit/kern/kernel_routes.h"

#include <simdjson.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "grpaudit/records/route_key.h"
#include "grpaudit/util/json_errors.h"
#include "grpaudit/util/text.h"

namespace grpaudit::kern {
namespace {

using nlohmann::json;

// The listings' shape problems are JSON errors, like their syntax errors,
// and name the command.
[[noreturn]] void bad(const char* command, const std::string& what) {
  throw json::type_error::create(302, std::string(command) + ": " + what, nullptr);
}

[[noreturn]] void missing(const char* command, const std::string& what) {
  throw json::out_of_range::create(403, std::string(command) + ": " + what, nullptr);
}

json parse_array(const std::string& text, const char* command) {
  if (util::strip(text).empty()) return json::array();
  json doc;
  try {
    doc = json::parse(text);
  } catch (const json::exception& e) {
    util::rethrow_naming(e, text, command);
  }
  if (!doc.is_array()) bad(command, "output is not a JSON array");
  return doc;
}

// A member that holds text or a number, as decimal text.
std::string text_or_number(const json& obj, const char* member, const char* command) {
  const auto it = obj.find(member);
  if (it == obj.end()) missing(command, std::string("an entry has no \"") + member + "\"");
  if (it->is_string()) return it->get<std::string>();
  if (it->is_number_integer()) return std::to_string(it->get<std::int64_t>());
  bad(command, std::string("\"") + member + "\" is neither text nor an integer");
}

std::string text_member(const json& obj, const char* member, const char* command) {
  const auto it = obj.find(member);
  if (it == obj.end()) missing(command, std::string("an entry has no \"") + member + "\"");
  if (!it->is_string()) bad(command, std::string("\"") + member + "\" is not a text");
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
  return true;
}

// What reading a listing gave: routes, or why not.
enum class Outcome { kRead, kNotJson, kNotRoutes };

// Adds the routes of one array of entries (a std::string, which the parser
// copies when it lacks room for its padding, or a padded view).
template <typename Text>
Outcome add_routes(sj::dom::parser& parser, const Text& text,
                   const std::map<std::string, std::string>& vrfs,
                   std::map<std::string, KernelRoute>& out) {
  sj::dom::array entries;
  if (parser.parse(text).get(entries)) return Outcome::kNotJson;
  for (const auto entry : entries) {
    KernelRoute r;
    if (!route(entry, vrfs, r)) return Outcome::kNotRoutes;
    std::string key = make_route_key(r.vrf, r.src, r.dst);
    out.insert_or_assign(std::move(key), std::move(r));
  }
  return Outcome::kRead;
}

// JSON's own whitespace: util::strip also takes \v and \f, which would let a
// listing JSON rejects read as routes.
constexpr bool json_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The parser's memory for a document is several times the document's size
// (its index, its tape and its strings), and a large switch lists tens of
// megabytes of routes. So a listing that is an array is read a slice of whole
// routes at a time, each slice as an array of its own, in one parser whose
// memory stays the size of a slice.
//
// A slice ends at a closing brace followed by a comma and an object whose
// first member is one a route has. Should such a text stand elsewhere (inside
// a string, or inside a route), the slice is not a whole array and does not
// parse: the listing is then read in one piece. Slices that all parse hold
// exactly the routes of the listing, in order.
Outcome add_sliced_routes(std::string_view listing, std::size_t slice_bytes,
                          const std::map<std::string, std::string>& vrfs,
                          std::map<std::string, KernelRoute>& out) {
  std::size_t b = 0;
  std::size_t e = listing.size();
  while (b < e && json_space(listing[b])) ++b;
  while (e > b && json_space(listing[e - 1])) --e;
  if (e - b < 2 || listing[b] != '[' || listing[e - 1] != ']') return Outcome::kNotJson;
  const std::string_view body = listing.substr(b + 1, e - b - 2);
  // The end of a slice that starts at `pos`: the brace before the first route
  // beginning past `pos + slice_bytes`, or the end of the listing.
  const auto slice_end = [body, slice_bytes](std::size_t pos) {
    if (body.size() - pos <= slice_bytes) return body.size();
    for (std::size_t c = pos + slice_bytes;; ++c) {
      c = body.find("},{\"", c);
      if (c == std::string_view::npos) return body.size();
      const std::string_view next = body.substr(c + 4, 10);
      for (const std::string_view name :
           {"src\"", "dst\"", "iif\"", "table\"", "state\"", "multipath\""}) {
        if (next.starts_with(name)) return c + 1;
      }
    }
  };

  sj::dom::parser parser;
  std::string slice;
  std::size_t pos = 0;
  for (;;) {
    const std::size_t end = slice_end(pos);
    slice.reserve(end - pos + 2 + sj::SIMDJSON_PADDING);
    slice.assign(1, '[').append(body.substr(pos, end - pos)).push_back(']');
    const Outcome o = add_routes(
        parser, sj::padded_string_view(slice.data(), slice.size(), slice.capacity()), vrfs, out);
    if (o != Outcome::kRead) return o;
    if (end == body.size()) return Outcome::kRead;
    pos = end + 1;  // past the comma
  }
}

std::optional<std::map<std::string, KernelRoute>> routes(
    const std::string& listing, const std::map<std::string, std::string>& vrfs,
    std::size_t slice_bytes) {
  std::map<std::string, KernelRoute> out;
  switch (add_sliced_routes(listing, slice_bytes, vrfs, out)) {
    case Outcome::kRead:
      return out;
    case Outcome::kNotRoutes:
      return std::nullopt;
    case Outcome::kNotJson:
      break;
  }
  out.clear();
  sj::dom::parser parser;
  if (add_routes(parser, listing, vrfs, out) != Outcome::kRead) return std::nullopt;
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
    if (data == nullptr) missing(kVrfListCommand, "VRF " + name + " has no linkinfo.info_data");
    vrfs[text_or_number(*data, "table", kVrfListCommand)] = name;
  }
  return vrfs;
}

std::map<std::string, KernelRoute> parse_kernel_routes(
    const std::string& mroute_json, const std::map<std::string, std::string>& vrfs) {
  return detail::parse_kernel_routes(mroute_json, vrfs, kRouteSliceBytes);
}

std::map<std::string, KernelRoute> detail::parse_kernel_routes(
    const std::string& mroute_json, const std::map<std::string, std::string>& vrfs,
    std::size_t slice_bytes) {
  if (util::strip(mroute_json).empty()) return {};
  if (auto routes = fast::routes(mroute_json, vrfs, slice_bytes)) return std::move(*routes);
  return parse_kernel_routes_checked(mroute_json, vrfs);
}

std::map<std::string, KernelRoute> detail::parse_kernel_routes_checked(
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
    std::string key = make_route_key(r.vrf, r.src, r.dst);
    routes.insert_or_assign(std::move(key), std::move(r));
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

}  // namespace grpaudit::kern

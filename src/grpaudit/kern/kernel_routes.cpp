#include "grpaudit/kern/kernel_routes.h"

#include <algorithm>
#include <array>
#include <optional>
#include <stdexcept>

#include <simdjson.h>
#include <nlohmann/json.hpp>

#include "grpaudit/records/route_key.h"
#include "grpaudit/util/json_errors.h"
#include "grpaudit/util/json_parse.h"
#include "grpaudit/util/text.h"

namespace grpaudit::kern {
namespace {

namespace sj = simdjson;
using nlohmann::json;
using Element = sj::dom::element;

// The listings' shape problems are JSON errors, like their syntax errors,
// and name the command.
[[noreturn]] void bad(const char* command, const std::string& what) {
  throw json::type_error::create(302, std::string(command) + ": " + what, nullptr);
}

[[noreturn]] void missing(const char* command, const std::string& what) {
  throw json::out_of_range::create(403, std::string(command) + ": " + what, nullptr);
}

Element parse(sj::dom::parser& parser, const std::string& text, const char* command) {
  try {
    return util::parse_json(parser, text);
  } catch (const json::exception& e) {
    util::rethrow_naming(e, text, command);
  }
}

// The members of an entry that the readers look at, each the last of its
// name, gathered in one pass over the entry.
template <std::size_t N>
struct Members {
  std::array<std::optional<Element>, N> found;

  Members(sj::dom::object obj, const std::array<std::string_view, N>& names) {
    for (const auto field : obj) {
      for (std::size_t i = 0; i < N; ++i) {
        if (field.key == names[i]) found[i] = field.value;
      }
    }
  }
  const std::optional<Element>& operator[](std::size_t i) const { return found[i]; }
};

std::string text_member(const std::optional<Element>& v, const char* name, const char* command) {
  if (!v) missing(command, std::string("an entry has no \"") + name + "\"");
  std::string_view text;
  if (v->get(text)) bad(command, std::string("\"") + name + "\" is not a text");
  return std::string(text);
}

// A member that holds text or a number, as decimal text.
std::string text_or_number(const std::optional<Element>& v, const char* name, const char* command) {
  if (!v) missing(command, std::string("an entry has no \"") + name + "\"");
  std::string_view text;
  if (!v->get(text)) return std::string(text);
  if (v->is_int64()) return std::to_string(v->get_int64().value_unsafe());
  // Beyond 63 bits the number wraps, as the listings have always been read.
  if (v->is_uint64())
    return std::to_string(static_cast<std::int64_t>(v->get_uint64().value_unsafe()));
  bad(command, std::string("\"") + name + "\" is neither text nor an integer");
}

std::string vrf_of_table(const std::string& table, const std::map<std::string, std::string>& vrfs) {
  if (table == "default" || table == "main" || table == "253" || table == "254") return "default";
  if (const auto it = vrfs.find(table); it != vrfs.end()) return it->second;
  return table;
}

constexpr const char* kRoutes = kMrouteListCommand;

KernelRoute read_route(Element entry, const std::map<std::string, std::string>& vrfs) {
  sj::dom::object obj;
  if (entry.get(obj)) bad(kRoutes, "an entry is not an object");
  enum { kSrc, kDst, kIif, kState, kMultipath, kTable };
  const Members<6> m(obj, {"src", "dst", "iif", "state", "multipath", "table"});
  KernelRoute r;
  r.src = text_member(m[kSrc], "src", kRoutes);
  r.dst = text_member(m[kDst], "dst", kRoutes);
  r.iif = text_member(m[kIif], "iif", kRoutes);
  if (m[kState]) r.state = text_member(m[kState], "state", kRoutes);
  if (m[kMultipath]) {
    sj::dom::array hops;
    if (m[kMultipath]->get(hops)) bad(kRoutes, "\"multipath\" is not an array");
    r.oil.reserve(std::min<std::size_t>(hops.size(), 1024));
    for (const Element hop : hops) {
      sj::dom::object h;
      if (hop.get(h)) bad(kRoutes, "a \"multipath\" entry is not an object");
      r.oil.push_back(text_member(Members<1>(h, {"oif"})[0], "oif", kRoutes));
    }
  }
  r.vrf = m[kTable] ? vrf_of_table(text_or_number(m[kTable], "table", kRoutes), vrfs) : "default";
  return r;
}

void add_routes(sj::dom::array entries, const std::map<std::string, std::string>& vrfs,
                std::map<std::string, KernelRoute>& out) {
  for (const Element entry : entries) {
    KernelRoute r = read_route(entry, vrfs);
    std::string key = make_route_key(r.vrf, r.src, r.dst);
    out.insert_or_assign(std::move(key), std::move(r));
  }
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
// parse. Slices that all parse hold exactly the routes of the listing, in
// order. False when the listing is to be read in one piece instead: a slice
// did not parse, or held an error, which only the whole listing words as it
// should (a syntax error further on comes first).
bool add_sliced_routes(std::string_view listing, std::size_t slice_bytes,
                       const std::map<std::string, std::string>& vrfs,
                       std::map<std::string, KernelRoute>& out) {
  std::size_t b = 0;
  std::size_t e = listing.size();
  while (b < e && json_space(listing[b])) ++b;
  while (e > b && json_space(listing[e - 1])) --e;
  if (e - b < 2 || listing[b] != '[' || listing[e - 1] != ']') return false;
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
    sj::dom::array entries;
    if (parser.parse(sj::padded_string_view(slice.data(), slice.size(), slice.capacity()))
            .get(entries))
      return false;
    try {
      add_routes(entries, vrfs, out);
    } catch (const json::exception&) {
      return false;
    }
    if (end == body.size()) return true;
    pos = end + 1;  // past the comma
  }
}

}  // namespace

std::map<std::string, std::string> parse_vrf_tables(const std::string& vrf_json) {
  std::map<std::string, std::string> vrfs;
  if (util::strip(vrf_json).empty()) return vrfs;
  sj::dom::parser parser;
  sj::dom::array links;
  if (parse(parser, vrf_json, kVrfListCommand).get(links))
    bad(kVrfListCommand, "output is not a JSON array");
  for (const Element link : links) {
    sj::dom::object obj;
    if (link.get(obj)) bad(kVrfListCommand, "an entry is not an object");
    // ip prints an empty object for every link its type filter leaves out.
    if (obj.size() == 0) continue;
    enum { kName, kLinkinfo };
    const Members<2> m(obj, {"ifname", "linkinfo"});
    const std::string name = text_member(m[kName], "ifname", kVrfListCommand);
    std::optional<sj::dom::object> data;
    sj::dom::object info;
    if (m[kLinkinfo] && !m[kLinkinfo]->get(info)) {
      sj::dom::object d;
      if (const auto found = Members<1>(info, {"info_data"})[0]; found && !found->get(d)) data = d;
    }
    if (!data) missing(kVrfListCommand, "VRF " + name + " has no linkinfo.info_data");
    vrfs[text_or_number(Members<1>(*data, {"table"})[0], "table", kVrfListCommand)] = name;
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
  std::map<std::string, KernelRoute> routes;
  if (util::strip(mroute_json).empty()) return routes;
  if (slice_bytes != kWholeListing && add_sliced_routes(mroute_json, slice_bytes, vrfs, routes))
    return routes;
  routes.clear();
  sj::dom::parser parser;
  sj::dom::array entries;
  if (parse(parser, mroute_json, kRoutes).get(entries)) bad(kRoutes, "output is not a JSON array");
  add_routes(entries, vrfs, routes);
  return routes;
}

std::map<std::string, std::string> read_vrf_tables(Host& host, util::Warnings* warnings) {
  const std::vector<std::string> argv{"/bin/ip", "-j", "-d", "link", "show", "type", "vrf"};
  const RunResult r = host.run(argv);
  if (r.status != 0) {
    if (warnings != nullptr) warnings->command_fell_back(argv, r.status, "");
    return {};
  }
  return parse_vrf_tables(r.out);
}

std::map<std::string, KernelRoute> read_kernel_routes(Host& host, util::Warnings* warnings) {
  const auto vrfs = read_vrf_tables(host, warnings);
  const SharedRunResult r = host.run_shared({"/bin/ip", "-j", "mroute", "show", "table", "all"});
  if (r.status != 0) throw std::runtime_error("cannot read the kernel's multicast routes");
  return parse_kernel_routes(*r.out, vrfs);
}

}  // namespace grpaudit::kern

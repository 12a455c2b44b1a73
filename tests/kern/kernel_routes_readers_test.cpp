// The route listing is read a slice of routes at a time; these listings are
// unusual, well-formed or not, and must read as the whole listing in one
// piece reads.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>

#include "grpaudit/kern/kernel_routes.h"
#include "grpaudit/platform/snapshot.h"
#include "switch_gen.h"

namespace grpaudit::kern {
namespace {

TEST(KernelRouteReaders, UnusualButWellFormedListingsReadAsBefore) {
  // Of a member given twice the last counts.
  auto routes = parse_kernel_routes(R"([{"src": "1.1.1.1", "src": "2.2.2.2", "dst": "239.1.1.1",
    "iif": "a", "iif": "b", "state": "x", "state": "unresolved",
    "multipath": [{"oif": "x", "oif": "y"}], "multipath": [{"oif": "z", "ttl": 1, "oif": "w"}]}])",
                                    {{"5", "blue"}});
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes.begin()->first, "default, (2.2.2.2,239.1.1.1)");
  const KernelRoute& r = routes.begin()->second;
  EXPECT_EQ(r.iif, "b");
  EXPECT_EQ(r.state, "unresolved");
  EXPECT_EQ(r.oil, (std::vector<std::string>{"w"}));

  // Tables by number, at the edges of 64 bits and beyond.
  routes = parse_kernel_routes(R"([
    {"table": 5, "src": "1.1.1.1", "dst": "239.1.1.1", "iif": "a"},
    {"table": -1, "src": "1.1.1.2", "dst": "239.1.1.1", "iif": "a"},
    {"table": 9223372036854775807, "src": "1.1.1.3", "dst": "239.1.1.1", "iif": "a"},
    {"table": 9223372036854775808, "src": "1.1.1.4", "dst": "239.1.1.1", "iif": "a"}])",
                               {{"5", "blue"}});
  std::vector<std::string> keys;
  for (const auto& [key, route] : routes) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{
                      "-1, (1.1.1.2,239.1.1.1)", "-9223372036854775808, (1.1.1.4,239.1.1.1)",
                      "9223372036854775807, (1.1.1.3,239.1.1.1)", "blue, (1.1.1.1,239.1.1.1)"}));

  // A table given as a fraction is no table.
  EXPECT_THROW(parse_kernel_routes(
                   R"([{"table": 5.0, "src": "1.1.1.1", "dst": "239.1.1.1", "iif": "a"}])", {}),
               nlohmann::json::exception);
}

// Every route as one line, or the error, to compare whole readings: in
// slices of `slice_bytes`, or (none) in one piece.
std::string reading(const std::string& listing, std::optional<std::size_t> slice_bytes) {
  try {
    std::string out;
    const std::map<std::string, std::string> vrfs{{"7", "blue"}};
    for (const auto& [key, r] :
         detail::parse_kernel_routes(listing, vrfs, slice_bytes.value_or(detail::kWholeListing))) {
      out += key + "|" + r.vrf + "|" + r.src + "|" + r.dst + "|" + r.iif + "|" + r.state + "|";
      for (const auto& oif : r.oil) out += oif + ",";
      out += "\n";
    }
    return out;
  } catch (const std::exception& e) {
    return std::string("error: ") + e.what();
  }
}

TEST(KernelRouteReaders, EverySlicedReadingIsTheWholeReading) {
  const std::string plain =
      R"([{"src":"1.1.1.1","dst":"239.1.1.1","iif":"a","multipath":[{"oif":"b","ttl":1},)"
      R"({"oif":"c","ttl":1}],"state":"resolved"},{"table":"7","src":"1.1.1.2","dst":"239.1.1.1",)"
      R"("iif":"a"},{"dst":"239.1.1.2","src":"1.1.1.3","iif":"},{\"src\"","state":"x"},)"
      R"({"src":"1.1.1.1","dst":"239.1.1.1","iif":"later"},{"multipath":[],"src":"1.1.1.4",)"
      R"("dst":"239.1.1.1","iif":"a"},{"state":"unresolved","src":"1.1.1.5","dst":"239.1.1.1",)"
      R"("iif":"a"},{"iif":"d","src":"1.1.1.6","dst":"239.1.1.1"}])";
  const std::string cases[] = {
      plain,
      " \n" + plain + "\n ",
      // A route's own object that begins as routes do: a slice cut there does
      // not parse, and the listing is read in one piece.
      R"([{"src":"1.1.1.1","dst":"239.1.1.1","iif":"a","multipath":[{"oif":"b"},)"
      R"({"src":"x","oif":"c"},{"table":1,"oif":"d"}]},{"src":"1.1.1.2","dst":"239.1.1.1",)"
      R"("iif":"a"}])",
      // Spaced out: no cut is found.
      R"([ {"src": "1.1.1.1", "dst": "239.1.1.1", "iif": "a"}, {"src": "1.1.1.2",)"
      R"( "dst": "239.1.1.1", "iif": "a"} ])",
      "[]",
      " [ ] ",
      // Broken in a later slice, in its JSON or in a route.
      plain.substr(0, plain.size() - 1),
      plain.substr(0, plain.size() - 2) + ",}]",
      R"([{"src":"1.1.1.1","dst":"239.1.1.1","iif":"a"},{"src":"1.1.1.2","dst":"239.1.1.1",)"
      R"("iif":5}])",
      R"([{"src":"1.1.1.1","dst":"239.1.1.1","iif":"a"},{"src":"1.1.1.2","dst":"239.1.1.1"}])",
      R"([{"src":"1.1.1.1","dst":"239.1.1.1","iif":"a"},{"src":"1.1.1.2","dst":"239.1.1.1",)"
      R"("iif":"a","table":18446744073709551616}])",
  };
  std::vector<std::string> listings(std::begin(cases), std::end(cases));
  // And the listings of generated switches, in their default layout and in
  // layouts that space, order and pad their JSON otherwise.
  for (const std::uint64_t layout : {0, 1, 2, 3, 4, 5}) {
    listings.push_back(switchgen::generate({.seed = 2, .scale = 0.002, .layout = layout})
                           .snapshot.host_commands.at(kMrouteListCommand)
                           .stdout_text);
  }
  for (const std::string& listing : listings) {
    const std::string whole = reading(listing, std::nullopt);
    for (const std::size_t slice : {0, 1, 10, 60, 100, 200, 1 << 30}) {
      EXPECT_EQ(reading(listing, slice), whole) << listing << " in slices of " << slice;
    }
  }
  EXPECT_EQ(reading(plain, 1).substr(0, 60),
            "blue, (1.1.1.2,239.1.1.1)|blue|1.1.1.2|239.1.1.1|a||\ndefault");
  EXPECT_NE(reading(cases[2], 1).find("|a||b,c,d,\n"), std::string::npos);
}

}  // namespace
}  // namespace grpaudit::kern

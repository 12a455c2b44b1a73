// The route listing is read by a fast reader that stands aside for anything
// unusual; these listings are well-formed but unusual, and must read as the
// checked reading always has.

#include <gtest/gtest.h>

#include "kernel_routes.h"

namespace grpaudit::cli {
namespace {

TEST(KernelRouteReaders, UnusualButWellFormedListingsReadAsBefore) {
  // Of a member given twice the last counts.
  auto routes = parse_kernel_routes(R"([{"src": "1.1.1.1", "src": "2.2.2.2", "dst": "239.1.1.1",
    "iif": "a", "iif": "b", "state": "x", "state": "unresolved",
    "multipath": [{"oif": "x", "oif": "y"}], "multipath": [{"oif": "z", "ttl": 1, "oif": "w"}]}])",
                                    {{"5", "blue"}});
  ASSERT_EQ(routes.size(), 1u);
  const KernelRoute& r = routes.begin()->second;
  EXPECT_EQ(r.key, "default, (2.2.2.2,239.1.1.1)");
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
               std::runtime_error);
}

}  // namespace
}  // namespace grpaudit::cli

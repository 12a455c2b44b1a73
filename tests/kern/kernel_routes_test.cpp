#include "grpaudit/kern/kernel_routes.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "support/fake_switch.h"

namespace grpaudit::kern {
namespace {

constexpr const char* kVrfs = R"([
  {"ifname": "blue", "linkinfo": {"info_kind": "vrf", "info_data": {"table": 1001}}},
  {"ifname": "red", "linkinfo": {"info_kind": "vrf", "info_data": {"table": "1002"}}}
])";

TEST(KernelRoutes, KeysCarryTheVrfNamedByTheTable) {
  const auto vrfs = parse_vrf_tables(kVrfs);
  const auto routes = parse_kernel_routes(R"([
    {"src": "10.1.1.1", "dst": "239.1.1.1", "iif": "vlan100", "state": "resolved",
     "multipath": [{"oif": "vlan200", "ttl": 1}, {"oif": "swp3", "ttl": 1}]},
    {"table": "main", "src": "10.1.1.2", "dst": "239.1.1.1", "iif": "swp1"},
    {"table": 254, "src": "10.1.1.3", "dst": "239.1.1.1", "iif": "swp1"},
    {"table": "default", "src": "10.1.1.4", "dst": "239.1.1.1", "iif": "swp1"},
    {"table": "1001", "src": "10.2.2.2", "dst": "239.2.2.2", "iif": "lo", "multipath": []},
    {"table": 1002, "src": "10.3.3.3", "dst": "239.3.3.3", "iif": "unresolved", "state": "unresolved"},
    {"table": "77", "src": "10.4.4.4", "dst": "239.4.4.4", "iif": "swp2"}
  ])",
                                          vrfs);
  std::vector<std::string> keys;
  for (const auto& [k, r] : routes) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{
                      "77, (10.4.4.4,239.4.4.4)", "blue, (10.2.2.2,239.2.2.2)",
                      "default, (10.1.1.1,239.1.1.1)", "default, (10.1.1.2,239.1.1.1)",
                      "default, (10.1.1.3,239.1.1.1)", "default, (10.1.1.4,239.1.1.1)",
                      "red, (10.3.3.3,239.3.3.3)"}));
  const KernelRoute& r = routes.at("default, (10.1.1.1,239.1.1.1)");
  EXPECT_EQ(r.iif, "vlan100");
  EXPECT_EQ(r.oil, (std::vector<std::string>{"vlan200", "swp3"}));
  EXPECT_EQ(r.state, "resolved");
  EXPECT_EQ(routes.at("red, (10.3.3.3,239.3.3.3)").state, "unresolved");
}

TEST(KernelRoutes, TheLaterOfTwoRoutesWithOneKeyStands) {
  const auto routes = parse_kernel_routes(R"([
    {"src": "1.1.1.1", "dst": "239.1.1.1", "iif": "swp1"},
    {"src": "1.1.1.1", "dst": "239.1.1.1", "iif": "swp2"}])",
                                          {});
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes.begin()->second.iif, "swp2");
  EXPECT_TRUE(parse_kernel_routes("", {}).empty());
  EXPECT_TRUE(parse_vrf_tables("  \n").empty());
  // The type filter of ip leaves an empty object for every other link.
  EXPECT_EQ(
      parse_vrf_tables(R"([{}, {"ifname": "blue", "linkinfo": {"info_data": {"table": 9}}}, {}])"),
      (std::map<std::string, std::string>{{"9", "blue"}}));
}

// Malformed listings are JSON errors that name the command; where the text
// stops being JSON, they say where.
TEST(KernelRoutes, MalformedListingsAreJsonErrorsNamingTheCommand) {
  const struct {
    const char* text;
    const char* says;
  } bad_routes[] = {
      {"not json", "parse error at line 1, column 2: "},
      {"[{\"src\": \"1.1.1.1\",\n  \"dst\" 5}]", "parse error at line 2, column 9: "},
      {"[1e999]", "number overflow"},
      {R"({"src": "1.1.1.1"})", "output is not a JSON array"},
      {R"([{"dst": "239.1.1.1", "iif": "swp1"}])", "an entry has no \"src\""},
      {R"([{"src": 1, "dst": "239.1.1.1", "iif": "swp1"}])", "\"src\" is not a text"},
      {R"([{"src": "1.1.1.1", "dst": "239.1.1.1", "iif": "swp1", "multipath": {}}])", "array"},
      {R"([{"src": "1.1.1.1", "dst": "239.1.1.1", "iif": "swp1", "multipath": [{"ttl": 1}]}])",
       "\"oif\""},
      {R"([{"src": "1.1.1.1", "dst": "239.1.1.1", "iif": "swp1", "table": [1]}])", "\"table\""},
  };
  for (const auto& c : bad_routes) {
    try {
      parse_kernel_routes(c.text, {});
      ADD_FAILURE() << c.text;
    } catch (const nlohmann::json::exception& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(std::string(kMrouteListCommand) + ": "), std::string::npos) << what;
      EXPECT_NE(what.find(c.says), std::string::npos) << what;
    }
  }
  EXPECT_THROW(parse_vrf_tables(R"([{"ifname": "blue"}])"), nlohmann::json::exception);
  EXPECT_THROW(parse_vrf_tables(R"([{"linkinfo": {"info_data": {"table": 5}}}])"),
               nlohmann::json::exception);
  EXPECT_THROW(parse_vrf_tables("[{"), nlohmann::json::exception);
}

TEST(KernelRoutes, ReadsThroughTheHost) {
  testing::FakeSwitch sw;
  sw.host_cmd(kVrfListCommand, 0, kVrfs)
      .host_cmd(kMrouteListCommand, 0,
                R"([{"table": "1001", "src": "1.1.1.1", "dst": "239.1.1.1", "iif": "swp1"}])");
  const Platform p = sw.platform();
  EXPECT_EQ(read_kernel_routes(*p.host).begin()->first, "blue, (1.1.1.1,239.1.1.1)");

  sw.host_cmd(kVrfListCommand, 1, "garbage").host_cmd(kMrouteListCommand, 0, "[]");
  EXPECT_TRUE(read_kernel_routes(*sw.platform().host).empty());

  sw.host_cmd(kMrouteListCommand, 1, "[]");
  try {
    read_kernel_routes(*sw.platform().host);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "cannot read the kernel's multicast routes");
  }
}

}  // namespace
}  // namespace grpaudit::kern

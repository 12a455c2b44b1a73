#include "grpaudit/hw/route_batch.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "grpaudit/records/route_key.h"

namespace grpaudit::hw {
namespace {

struct Route {
  std::string vrf, sip, dip;
  std::int64_t iif, grp;
};

using Routes = std::map<std::string, Hmroute>;

// What the readers did before batching: insert_or_assign in the order read.
Routes one_by_one(Routes start, const std::vector<Route>& routes) {
  for (const Route& r : routes) {
    start.insert_or_assign(make_route_key(r.vrf, r.sip, r.dip),
                           Hmroute(r.sip, r.dip, r.iif, r.grp, r.vrf));
  }
  return start;
}

Routes batched(Routes start, const std::vector<Route>& routes) {
  RouteBatch batch(start);
  for (const Route& r : routes) batch.add(r.vrf, r.sip, r.dip, r.iif, r.grp);
  batch.flush();
  return start;
}

// Every field of every route, in the map's order.
std::vector<std::string> dump(const Routes& m) {
  std::vector<std::string> out;
  for (const auto& [k, r] : m) {
    out.push_back(k + " | " + r.sip + " " + r.dip + " " + r.vrf + " " + std::to_string(r.iif) +
                  " " + std::to_string(r.grp));
  }
  return out;
}

TEST(RouteBatch, StoresWhatInsertOrAssignInReadOrderWould) {
  const Routes earlier = {
      {"blue, (1.1.1.1,239.0.0.1)", Hmroute("1.1.1.1", "239.0.0.1", 1, 1, "blue")},
      {"zz, (9.9.9.9,239.9.9.9)", Hmroute("9.9.9.9", "239.9.9.9", 9, 9, "zz")},
  };
  const struct {
    const char* what;
    std::vector<Route> routes;
  } cases[] = {
      {"nothing", {}},
      {"one", {{"default", "10.0.0.1", "239.1.1.1", 5, 1}}},
      {"a later route of a key wins",
       {{"default", "10.0.0.1", "239.1.1.1", 5, 1},
        {"blue", "1.1.1.1", "239.0.0.1", 6, 2},
        {"default", "10.0.0.1", "239.1.1.1", 7, 3},
        {"default", "10.0.0.1", "239.1.1.1", 8, 4}}},
      {"keys alike in their first 24 bytes, told apart after them",
       {{"default", "10.100.200.1", "239.100.200.12", 1, 1},
        {"default", "10.100.200.1", "239.100.200.1", 2, 2},
        {"default", "10.100.200.1", "239.100.200.12", 3, 3},
        {"default", "10.100.200.1", "239.100.200.123", 4, 4}}},
      {"one key the start of another",
       {{"v", "a", "b)", 1, 1}, {"v", "a", "b", 2, 2}, {"v", "a", "b))", 3, 3}}},
      {"a short key and a longer one with zero bytes where the short one ends",
       {{"v", "a", std::string("b)") + std::string(16, '\0') + "x", 1, 1},
        {"v", "a", "b", 2, 2},
        {"v", "a", std::string("b)") + std::string(15, '\0'), 3, 3}}},
      {"bytes above 127 and zero bytes order as unsigned",
       {{"v", "a\xff", "b", 1, 1},
        {"v", "a", "b", 2, 2},
        {"v", std::string("a\0", 2), "b", 3, 3},
        {"\xc3\xa9t\xc3\xa9", "a", "b", 4, 4}}},
      {"keys equal to the routes already stored",
       {{"zz", "9.9.9.9", "239.9.9.9", 10, 10}, {"blue", "1.1.1.1", "239.0.0.1", 11, 11}}},
      {"empty parts", {{"", "", "", 1, 1}, {"", "", "x", 2, 2}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(dump(batched({}, c.routes)), dump(one_by_one({}, c.routes)));
    // A map that holds routes already gets each route as it comes.
    EXPECT_EQ(dump(batched(earlier, c.routes)), dump(one_by_one(earlier, c.routes)));
  }
}

// Many routes whose keys share long starts, with repeats, in random order:
// the sort must give the order and winners of the map itself.
TEST(RouteBatch, ManyRoutesWithLongSharedStartsAndRepeats) {
  std::mt19937 rng(7);
  const std::vector<std::string> vrfs = {"default", "blue", "b", "a-very-long-vrf-name-indeed",
                                         "a-very-long-vrf-name-indeed2"};
  std::vector<Route> routes;
  for (int i = 0; i < 20000; ++i) {
    const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Route r;
    r.vrf = vrfs[static_cast<std::size_t>(pick(static_cast<int>(vrfs.size())))];
    r.sip = pick(4) == 0 ? "0.0.0.0"
                         : "10." + std::to_string(pick(3)) + "." + std::to_string(pick(300)) + "." +
                               std::to_string(pick(9));
    r.dip = "239.255." + std::to_string(pick(40)) + "." + std::to_string(pick(300));
    r.iif = i;
    r.grp = pick(1000);
    routes.push_back(r);
  }
  const Routes want = one_by_one({}, routes);
  ASSERT_LT(want.size(), routes.size());  // there are repeats
  EXPECT_EQ(dump(batched({}, routes)), dump(want));
}

}  // namespace
}  // namespace grpaudit::hw

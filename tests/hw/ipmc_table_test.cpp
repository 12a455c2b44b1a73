#include "grpaudit/hw/ipmc_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#include "grpaudit/records/route_key.h"
#include "support/plain_readers.h"

namespace grpaudit::hw {
namespace {

std::string vrf_name(std::int64_t id) {
  return id == 0 ? "default" : "vrf" + std::to_string(id);
}

std::map<std::string, Hmroute> parse(std::string_view text) {
  std::map<std::string, Hmroute> routes;
  parse_ipmc_table(text, vrf_name, routes);
  return routes;
}

constexpr std::string_view kHeader =
    "SRC IP ADDRESS    MC IP ADDRESS     GROUP     VLAN  VRF\n"
    "--------------------------------------------------------\n";

TEST(IpmcTable, ReadsOneRoutePerRowKeyedByVrfSourceGroup) {
  const auto routes = parse(std::string(kHeader) +
                            "10.1.1.1  239.1.1.1  0x1f  100  0\n"
                            "0.0.0.0   239.2.2.2  1f    200  2\n");
  ASSERT_EQ(routes.size(), 2u);
  const Hmroute& r = routes.at("default, (10.1.1.1,239.1.1.1)");
  EXPECT_EQ(r.sip, "10.1.1.1");
  EXPECT_EQ(r.dip, "239.1.1.1");
  EXPECT_EQ(r.iif, 100);
  EXPECT_EQ(r.grp, 0x200001f);
  EXPECT_EQ(r.vrf, "default");
  EXPECT_EQ(routes.at("vrf2, (0.0.0.0,239.2.2.2)").grp, 0x200001f);
}

TEST(IpmcTable, ColumnPositionsComeFromTheHeader) {
  // One word before SRC; the three-word address titles shift later columns.
  const auto routes = parse(
      "Idx SRC IP ADDRESS MC IP ADDRESS GROUP VLAN VRF Hit\n"
      "---\n"
      "7 10.0.0.1 239.0.0.9 2 30 0 y\n");
  const Hmroute& r = routes.at("default, (10.0.0.1,239.0.0.9)");
  EXPECT_EQ(r.iif, 30);
  EXPECT_EQ(r.grp, 0x2000002);
}

TEST(IpmcTable, SkipsBlankAndShortRowsAndKeepsTheLaterDuplicate) {
  const auto routes = parse(std::string(kHeader) +
                            "10.1.1.1  239.1.1.1  1  100  0\n"
                            "\n"
                            "  \t \n"
                            "2-routes\n"
                            "10.1.1.1  239.1.1.1  2  101  0\r\n");
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes.at("default, (10.1.1.1,239.1.1.1)").iif, 101);
  EXPECT_EQ(routes.at("default, (10.1.1.1,239.1.1.1)").grp, 0x2000002);
}

TEST(IpmcTable, HeaderOnlyGivesNoRoutes) {
  EXPECT_TRUE(parse(kHeader).empty());
  EXPECT_TRUE(parse("SRC x x MC x x GROUP VLAN VRF").empty());
}

TEST(IpmcTable, MalformedListingsFailWithTheErrorOfTheirStep) {
  enum Kind { kLookup, kValue };
  const struct {
    std::string text;
    Kind kind;
  } cases[] = {
      {"", kLookup},                                                   // no header
      {"SRC IP ADDRESS MC IP ADDRESS GROUP VLAN\n--\n", kLookup},      // no VRF
      {"SRC IP ADDRESS mc IP ADDRESS GROUP VLAN VRF\n--\n", kLookup},  // case matters
      {std::string(kHeader) + "10.1.1.1 239.1.1.1 1 100\n", kLookup},  // row lacks VRF
      {std::string(kHeader) + "Total: 2\n", kLookup},  // as many words as GROUP's position
      {std::string(kHeader) + "10.1.1.1 239.1.1.1 1 x100 0\n", kValue},    // VLAN not decimal
      {std::string(kHeader) + "10.1.1.1 239.1.1.1 1 0x10 0\n", kValue},    // VLAN in hex
      {std::string(kHeader) + "10.1.1.1 239.1.1.1 1 100 zero\n", kValue},  // VRF not decimal
      {std::string(kHeader) + "10.1.1.1 239.1.1.1 1g 100 0\n", kValue},    // GROUP not hex
      // SRC titled after the other columns: its position minus nothing still
      // lands, but MC computed below zero is out of range, never from the end.
      {"MC SRC GROUP VLAN VRF x x x x\n--\na b c d e f g h i\n", kLookup},
  };
  for (const auto& c : cases) {
    if (c.kind == kLookup) {
      EXPECT_THROW(parse(c.text), std::out_of_range) << c.text;
    } else {
      EXPECT_THROW(parse(c.text), std::invalid_argument) << c.text;
    }
  }
}

TEST(IpmcTable, VrfIsLookedUpBeforeTheGroupIsParsed) {
  std::vector<std::int64_t> asked;
  std::map<std::string, Hmroute> routes;
  const auto lookup = [&](std::int64_t id) -> std::string {
    asked.push_back(id);
    throw std::out_of_range("unknown VRF id " + std::to_string(id));
  };
  EXPECT_THROW(
      parse_ipmc_table(std::string(kHeader) + "1.1.1.1 239.1.1.1 zz 1 9\n", lookup, routes),
      std::out_of_range);
  EXPECT_EQ(asked, std::vector<std::int64_t>{9});
}

// A row that fails leaves the routes of the rows before it in the map, the
// later of two with one key, whether the map was empty or not; the VRF is
// asked once per route row, in order.
TEST(IpmcTable, RoutesBeforeAFailingRowAreStored) {
  const std::string text = std::string(kHeader) +
                           "10.0.0.2 239.0.0.2 1 10 0\n"
                           "10.0.0.1 239.0.0.1 2 11 1\n"
                           "--\n"
                           "10.0.0.2 239.0.0.2 3 12 0 extra words here\n"
                           "10.0.0.3 239.0.0.3 4 oops 0\n"
                           "10.0.0.4 239.0.0.4 5 14 0\n";
  for (const bool start_empty : {true, false}) {
    SCOPED_TRACE(start_empty);
    std::map<std::string, Hmroute> routes;
    if (!start_empty) {
      routes.emplace("default, (10.0.0.2,239.0.0.2)", Hmroute("x", "y", 99, 99, "z"));
      routes.emplace("zzz", Hmroute("a", "b", 98, 98, "c"));
    }
    std::vector<std::int64_t> asked;
    const auto lookup = [&](std::int64_t id) {
      asked.push_back(id);
      return vrf_name(id);
    };
    EXPECT_THROW(parse_ipmc_table(text, lookup, routes), std::invalid_argument);
    EXPECT_EQ(asked, (std::vector<std::int64_t>{0, 1, 0}));  // the bad VLAN fails before its VRF
    ASSERT_EQ(routes.size(), start_empty ? 2u : 3u);
    const Hmroute& r = routes.at("default, (10.0.0.2,239.0.0.2)");
    EXPECT_EQ(r.iif, 12);
    EXPECT_EQ(r.grp, 0x2000003);
    EXPECT_EQ(r.sip, "10.0.0.2");
    EXPECT_EQ(r.vrf, "default");
    EXPECT_EQ(routes.at("vrf1, (10.0.0.1,239.0.0.1)").iif, 11);
  }
}

// The rightmost of the five columns read may be any of them: every order of
// the five, among columns the reader does not know, reads as the plain
// reading does, and the orders whose titles stand where the reader's
// corrections expect them give the listed routes.
TEST(IpmcTable, EveryOrderOfTheFiveColumnsReadsAsThePlainReading) {
  const std::string listing =
      "Entry  SRC IP ADDRESS   MC IP ADDRESS    RPE  HIT  CLASS  VRF  VLAN  MOD  GROUP\n"
      "-----------------------------------------------------------------------------\n"
      "0      192.168.77.228   234.149.108.96   n    y    0      25   4089  0    0x2000017\n";
  const auto routes = parse(listing);
  ASSERT_EQ(routes.size(), 1u);
  const Hmroute& r = routes.at("vrf25, (192.168.77.228,234.149.108.96)");
  EXPECT_EQ(r.iif, 4089);
  EXPECT_EQ(r.grp, 0x2000017);

  struct Column {
    const char* title;
    const char* values[2];
  };
  std::array<Column, 5> columns{{{"GROUP", {"0x1f", "2000020"}},
                                 {"MC IP ADDRESS", {"239.1.1.1", "239.2.2.2"}},
                                 {"SRC IP ADDRESS", {"10.1.1.1", "0.0.0.0"}},
                                 {"VLAN", {"100", "4094"}},
                                 {"VRF", {"0", "3"}}}};
  std::sort(columns.begin(), columns.end(),
            [](const Column& a, const Column& b) { return std::string_view(a.title) < b.title; });
  int in_reader_order = 0;
  do {
    std::string text = "Entry";
    for (const Column& c : columns) text += std::string("  ") + c.title + "  HIT";
    text += "\n--\n";
    for (int row = 0; row < 2; ++row) {
      text += std::to_string(row);
      for (const Column& c : columns) text += std::string("\t") + c.values[row] + " y";
      text += "\n";
    }
    SCOPED_TRACE(text);
    EXPECT_EQ(testing::route_reading(parse_ipmc_table, text, vrf_name),
              testing::route_reading(testing::plain_ipmc_table, text, vrf_name));
    if (columns[0].title == std::string_view("SRC IP ADDRESS") &&
        columns[1].title == std::string_view("MC IP ADDRESS")) {
      ++in_reader_order;
      const auto read = parse(text);
      ASSERT_EQ(read.size(), 2u);
      EXPECT_EQ(read.at("default, (10.1.1.1,239.1.1.1)").grp, 0x200001f);
      EXPECT_EQ(read.at("vrf3, (0.0.0.0,239.2.2.2)").iif, 4094);
    }
  } while (std::next_permutation(
      columns.begin(), columns.end(),
      [](const Column& a, const Column& b) { return std::string_view(a.title) < b.title; }));
  EXPECT_EQ(in_reader_order, 6);
}

TEST(RouteKey, SplitsTheKeyFormAndNothingElse) {
  const struct {
    std::string key;
    std::optional<std::string> vrf, sip, dip;
  } cases[] = {
      {"default, (10.1.1.1,239.1.1.1)", "default", "10.1.1.1", "239.1.1.1"},
      {"blue, (0.0.0.0,239.1.1.1) trailing", "blue", "0.0.0.0", "239.1.1.1"},
      {"v, (a,b,c)", "v", "a,b", "c"},  // the source takes up to the last comma
      {"default,(10.1.1.1,239.1.1.1)", std::nullopt, std::nullopt, std::nullopt},
      {"default, 10.1.1.1,239.1.1.1", std::nullopt, std::nullopt, std::nullopt},
      {" default, (1,2)", std::nullopt, std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    const auto [vrf, sip, dip] = split_route_key(c.key);
    EXPECT_EQ(vrf, c.vrf) << c.key;
    EXPECT_EQ(sip, c.sip) << c.key;
    EXPECT_EQ(dip, c.dip) << c.key;
  }
  EXPECT_EQ(make_route_key("mgmt", "10.0.0.1", "239.0.0.1"), "mgmt, (10.0.0.1,239.0.0.1)");
}

}  // namespace
}  // namespace grpaudit::hw

#include "grpaudit/hw/l3_entry_mem.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace grpaudit::hw {
namespace {

using Fields = std::map<std::string, std::string>;

TEST(FieldDict, IndexAndFieldsOfTheFirstBracketedEntry) {
  const struct {
    std::string line;
    std::optional<std::string> key;
    Fields fields;
  } cases[] = {
      {"[17]: <VALID_0=1,VRF_ID=0x5>", "17", {{"VALID_0", "1"}, {"VRF_ID", "0x5"}}},
      {"L3_ENTRY.ipipe0[2048]: <A=1,B,C=2=3,A=4,=5,D=>x",
       "2048",
       {{"A", "4"}, {"C", "2"}, {"", "5"}, {"D", ""}}},
      {"[1]: <A=1>x> tail", "1", {{"A", "1>x"}}},  // up to the last ">" of the run
      {"[1]: <A=1> [2]: <B=2>", "1", {{"A", "1"}}},
      {"[1]:  <A=1>", std::nullopt, {}},
      {"[x]: <A=1>", std::nullopt, {}},
      {"[1]: <>", std::nullopt, {}},
      {"", std::nullopt, {}},
  };
  for (const auto& c : cases) {
    const auto [key, fields] = field_dict_build(c.line);
    EXPECT_EQ(key, c.key) << c.line;
    EXPECT_EQ(fields, c.fields) << c.line;
  }
}

std::string vrf_name(std::int64_t id) {
  if (id == 99) throw std::out_of_range("unknown VRF id 99");
  return "vrf" + std::to_string(id);
}

std::map<std::string, std::string> routes(std::string_view text) {
  std::map<std::string, Hmroute> mroutes;
  parse_l3_entry_ipmc_table(text, vrf_name, mroutes);
  std::map<std::string, std::string> out;
  for (const auto& [k, r] : mroutes) {
    out[k] = std::to_string(r.iif) + " " + std::to_string(r.grp - kMcastGroupTypeBits);
  }
  return out;
}

TEST(L3EntryMem, ValidEntriesBecomeRoutesWithTheirDefaults) {
  EXPECT_EQ(routes("header line\n"
                   "M[1]: <VALID_0=1,GROUP_IP_ADDR=e1010101,L3MC_INDEX=1f>\n"
                   "M[2]: <VALID_1=1,VALID_0=0,SOURCE_IP_ADDR=0x0A000001,GROUP_IP_ADDR=0xef000001,"
                   "VRF_ID=0x10,EXPECTED_L3_IIF=0x1004>\n"
                   "M[3]: <VALID_0=1,SOURCE_IP_ADDR=0xffffffff,GROUP_IP_ADDR=0,VRF_ID=10,"
                   "EXPECTED_L3_IIF=10>\n"
                   "M[4]: <KEY_TYPE=6>\n"                            // no valid bit: skipped
                   "M[5]: <VALID_0=0,VALID_1=0,GROUP_IP_ADDR=zz>\n"  // not valid: never read
                   "\n"
                   "M[6]: <VALID_0=2,GROUP_IP_ADDR=e1010101,EXPECTED_L3_IIF=7>\r\n"),
            (std::map<std::string, std::string>{
                {"vrf0, (0.0.0.0,225.1.1.1)", "7 0"},  // the later entry wins
                {"vrf16, (10.0.0.1,239.0.0.1)", "4100 0"},
                {"vrf10, (255.255.255.255,0.0.0.0)", "10 0"},
            }));
}

TEST(L3EntryMem, BadValidEntriesFail) {
  const struct {
    std::string fields;
    bool lookup;
  } cases[] = {
      {"VALID_0=1", true},  // no group
      {"VALID_0=0x1,GROUP_IP_ADDR=1", false},
      {"VALID_0=1,GROUP_IP_ADDR=100000000", false},  // beyond 32 bits
      {"VALID_0=1,GROUP_IP_ADDR=-1", false},
      {"VALID_0=1,GROUP_IP_ADDR=1,SOURCE_IP_ADDR=1.2.3.4", false},
      {"VALID_0=1,GROUP_IP_ADDR=1,VRF_ID=0X10", false},  // only "0x" means hexadecimal
      {"VALID_0=1,GROUP_IP_ADDR=1,EXPECTED_L3_IIF=1f", false},
      {"VALID_0=1,GROUP_IP_ADDR=1,L3MC_INDEX=g", false},
      {"VALID_0=1,GROUP_IP_ADDR=1,VRF_ID=99", true},  // the VRF database's error
  };
  for (const auto& c : cases) {
    const std::string text = "[1]: <" + c.fields + ">\n";
    if (c.lookup) {
      EXPECT_THROW(routes(text), std::out_of_range) << c.fields;
    } else {
      EXPECT_THROW(routes(text), std::invalid_argument) << c.fields;
    }
  }
}

TEST(L3EntryMem, LaterPiecesOfAFieldWinAndErrorsComeInTheirOrder) {
  EXPECT_EQ(routes("[1]: <VALID_0=1,GROUP_IP_ADDR=zz,GROUP_IP_ADDR=e0000001,L3MC_INDEX=2>\n"
                   "[2]: <VALID_0=1,VALID_0=0,GROUP_IP_ADDR=zz>\n"  // not valid after all
                   "[3]: <VALID_1=0=1,GROUP_IP_ADDR=e0000002>\n"),  // the value ends at "="
            (std::map<std::string, std::string>{{"vrf0, (0.0.0.0,224.0.0.1)", "0 2"}}));
  // The source is read before the group is looked for.
  EXPECT_THROW(routes("[1]: <VALID_0=1,SOURCE_IP_ADDR=q>\n"), std::invalid_argument);
  // The VRF is asked before the interface is read.
  EXPECT_THROW(routes("[1]: <VALID_0=1,GROUP_IP_ADDR=1,VRF_ID=99,EXPECTED_L3_IIF=q>\n"),
               std::out_of_range);
}

// An entry that fails leaves the routes of the entries before it stored.
TEST(L3EntryMem, RoutesBeforeAFailingEntryAreStored) {
  const std::string text =
      "M[1]: <VALID_0=1,GROUP_IP_ADDR=e0000002,L3MC_INDEX=5>\n"
      "M[2]: <VALID_0=1,GROUP_IP_ADDR=e0000001,VRF_ID=3>\n"
      "M[3]: <VALID_0=1,GROUP_IP_ADDR=e0000002,L3MC_INDEX=6>\n"
      "M[4]: <VALID_0=1>\n"
      "M[5]: <VALID_0=1,GROUP_IP_ADDR=e0000003>\n";
  for (const bool start_empty : {true, false}) {
    SCOPED_TRACE(start_empty);
    std::map<std::string, Hmroute> mroutes;
    if (!start_empty) mroutes.emplace("a", Hmroute("x", "y", 1, 1, "z"));
    int asked = 0;
    const auto lookup = [&](std::int64_t id) {
      ++asked;
      return vrf_name(id);
    };
    try {
      parse_l3_entry_ipmc_table(text, lookup, mroutes);
      FAIL();
    } catch (const std::out_of_range& e) {
      EXPECT_NE(std::string(e.what()).find("valid entry 4"), std::string::npos) << e.what();
    }
    EXPECT_EQ(asked, 3);
    ASSERT_EQ(mroutes.size(), start_empty ? 2u : 3u);
    EXPECT_EQ(mroutes.at("vrf0, (0.0.0.0,224.0.0.2)").grp, kMcastGroupTypeBits + 6);
    EXPECT_EQ(mroutes.at("vrf3, (0.0.0.0,224.0.0.1)").vrf, "vrf3");
  }
}

}  // namespace
}  // namespace grpaudit::hw

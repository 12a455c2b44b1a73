// Regression tests of what fuzzing found, one per finding.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <simdjson.h>
#include <nlohmann/json.hpp>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot.h"
#include "grpaudit/util/json_brief.h"
#include "support/kern_fixtures.h"

namespace grpaudit {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// A deeply nested value in a hand-edited snapshot was written out in full
// for the error message, one stack frame per level, and overflowed the stack.
TEST(Findings, DeeplyNestedSnapshotValueIsAnErrorNotACrash) {
  const std::string doc = R"({"format": )" + nested(200000) + "}";
  try {
    platform::parse_snapshot(doc, "deep.json");
    FAIL() << "accepted a nested format";
  } catch (const SnapshotError& e) {
    EXPECT_THAT(e.what(), StartsWith("snapshot deep.json: not a grpaudit snapshot (format is "
                                     "[[[[[[[[[...]]]]]]]]]"));
  }
}

// The same in the bridge tool's VLAN listing, whose shape errors show the
// offending value.
TEST(Findings, DeeplyNestedBridgeVlanListingIsAJsonError) {
  testing::FakeSwitch sw;
  sw.host_cmd("/sbin/bridge -j vlan show", 0, "[" + nested(200000) + "]");
  Asic asic(sw.platform());
  try {
    asic._kern_get_vlan_members(1);
    FAIL() << "accepted a nested listing";
  } catch (const nlohmann::json::exception& e) {
    EXPECT_THAT(e.what(), HasSubstr("expected an object: \"[[[[[[[[[...]]]]]]]]]\""));
  }
  EXPECT_TRUE(asic.kern_vlan_cache_created);
}

// A number too large for a double is the JSON parser's one failure that is
// not a parse error: it escaped the snapshot loader as a JSON error that did
// not name the file, instead of the loader's own error.
TEST(Findings, HugeNumberInASnapshotIsASnapshotError) {
  for (const std::string doc : {R"({"format": 1e999})", R"({"vrfs": {"0": -1e400}})"}) {
    SCOPED_TRACE(doc);
    try {
      platform::parse_snapshot(doc, "huge.json");
      FAIL() << "accepted a number beyond a double";
    } catch (const SnapshotError& e) {
      EXPECT_THAT(e.what(), StartsWith("snapshot huge.json: not valid JSON: number overflow"));
    }
  }
}

TEST(Findings, BriefJsonIsTheDumpWithinItsDepth) {
  simdjson::dom::parser parser;
  const auto brief = [&](const std::string& text, std::size_t depth) {
    return util::json_brief(parser.parse(text).value(), depth);
  };
  const std::string text = R"({"d": [[]], "a": [1, "x\u00e9", {"b": null, "b": 2.50}], "c": {}})";
  EXPECT_EQ(brief(text, 8), nlohmann::json::parse(text).dump());
  EXPECT_EQ(brief(text, 1), R"({"a":[...],"c":{},"d":[...]})");
  EXPECT_EQ(brief(nested(3), 0), "[...]");
  EXPECT_EQ(brief("7", 0), "7");
}

}  // namespace
}  // namespace grpaudit

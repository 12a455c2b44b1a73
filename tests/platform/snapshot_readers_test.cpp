// The fast snapshot reader against the checked one: where the fast one gives
// an answer it is the checked reader's, and it does give one for ordinary
// snapshots (else the speed would be lost without a test failing).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot_parse.h"
#include "support/cli_run.h"
#include "support/test_support.h"
#include "switch_gen.h"

namespace grpaudit::platform {
namespace {

std::string doc(const std::string& members) {
  return R"({"format": "grpaudit-snapshot", "version": 1)" +
         (members.empty() ? "" : ", " + members) + "}";
}

// Either the checked reader's snapshot, or its error text.
struct Outcome {
  bool ok = false;
  Snapshot snap;
  std::string error;
};

Outcome checked(const std::string& text) {
  Outcome o;
  try {
    o.snap = detail::parse_snapshot_checked(text, "x.json");
    o.ok = true;
  } catch (const SnapshotError& e) {
    o.error = e.what();
  }
  return o;
}

TEST(SnapshotReaders, TheFastReaderAgreesOrStandsAside) {
  const std::vector<std::string> texts = {
      doc(""),
      doc(R"("description": "x", "unknown": {"a": [1, 2.5, null, true]})"),
      // Members given twice: the last counts, at every level.
      doc(R"("description": "a", "description": "b")"),
      doc(R"("sdk": {"commands": {"a": "1"}}, "sdk": {"commands": {"b": "2"}})"),
      doc(R"("sdk": {"commands": {"a": "1", "a": "2"}})"),
      doc(R"("sdk": {"commands": {"a": 1, "a": "2"}})"),
      doc(R"("sdk": {"commands": {"a": "1", "a": 2}})"),
      doc(R"("sdk": {"tables": {"T": {"1": {"F": 1}}, "T": {"2": {"G": 2}}}})"),
      doc(R"("sdk": {"tables": {"T": {"1": {"F": 1, "F": -2}}}})"),
      doc(R"("host": {"commands": {"c": {"status": 1, "status": 2, "stdout": "o"}}})"),
      doc(R"("host": {"commands": {"c": {"status": 1}, "c": {"stdout": "o"}}})"),
      doc(R"("host": {"dirs": {"/d": ["a"], "/d": ["b", "c"]}})"),
      doc(R"("port_table": {"linux_ports": ["a"], "linux_ports": ["b"]})"),
      R"({"version": 1, "format": "grpaudit-snapshot", "format": "other"})",
      R"({"format": "grpaudit-snapshot", "version": 2, "version": 1})",
      // Numbers at and beyond the edges of 64 bits.
      doc(R"("sdk": {"tables": {"T": {"1": {"F": -9223372036854775808}}}})"),
      doc(R"("sdk": {"tables": {"T": {"1": {"F": 9223372036854775807}}}})"),
      doc(R"("sdk": {"tables": {"T": {"1": {"F": 9223372036854775808}}}})"),
      doc(R"("sdk": {"tables": {"T": {"1": {"F": 100000000000000000000000}}}})"),
      doc(R"("sdk": {"tables": {"T": {"1": {"F": 1e2}}}})"),
      doc(R"("host": {"commands": {"c": {"status": -2147483648}}})"),
      doc(R"("host": {"commands": {"c": {"status": 2147483648}}})"),
      doc(R"("host": {"commands": {"c": {"status": -0}}})"),
      R"({"format": "grpaudit-snapshot", "version": 1.0})",
      R"({"format": "grpaudit-snapshot", "version": 1e0})",
      // Strings: escapes, Unicode, what JSON forbids.
      doc(R"("description": "a\"b\\c\/d\b\f\n\r\t\u0000\u00fc\ud83d\ude00")"),
      doc("\"description\": \"\xC3\xBC\""),
      doc("\"description\": \"\xC3\""),
      doc("\"description\": \"\xED\xA0\x80\""),
      doc(R"("description": "\ud800")"),
      doc(R"("description": "\udc00x")"),
      doc(R"("description": "\q")"),
      doc("\"description\": \"tab\there\""),
      // Not JSON, or not only JSON.
      "\xEF\xBB\xBF" + doc(""),
      doc("") + " x",
      doc("") + "\n\n",
      doc(R"("unknown": [tru])"),
      doc(R"("unknown": [1,])"),
      "",
      "[]",
      "null",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    const Outcome want = checked(text);
    const auto fast = detail::parse_snapshot_fast(text);
    if (fast) {
      ASSERT_TRUE(want.ok) << want.error;
      EXPECT_EQ(*fast, want.snap);
    }
    // Whichever reader answers, the public one gives the checked answer.
    try {
      const Snapshot got = parse_snapshot(text, "x.json");
      ASSERT_TRUE(want.ok);
      EXPECT_EQ(got, want.snap);
    } catch (const SnapshotError& e) {
      EXPECT_EQ(e.what(), want.error);
    }
  }
}

TEST(SnapshotReaders, TheFastReaderReadsOrdinarySnapshots) {
  std::vector<std::string> texts;
  for (const char* example : {"leaf-riot", "mlag-peer", "traditional-bridge"}) {
    texts.push_back(testing::read_file(testing::source_path("examples/") + example + ".json"));
  }
  // A layout of its own puts tabs and \r into the texts.
  texts.push_back(
      snapshot_to_json(switchgen::generate({.seed = 1, .scale = 0.01, .layout = 4}).snapshot));
  texts.push_back(snapshot_to_json(switchgen::generate({.seed = 1, .scale = 0.01}).snapshot));
  for (const std::string& text : texts) {
    const auto fast = detail::parse_snapshot_fast(text);
    ASSERT_TRUE(fast.has_value()) << text.substr(0, 200);
    EXPECT_EQ(*fast, detail::parse_snapshot_checked(text, "x.json"));
  }

  // And load_snapshot reads files through it.
  const testing::TempDir dir;
  EXPECT_EQ(load_snapshot(dir.write("s.json", texts.back())),
            detail::parse_snapshot_checked(texts.back(), "x.json"));
}

}  // namespace
}  // namespace grpaudit::platform

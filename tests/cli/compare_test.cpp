// grpaudit compare: what changed between two reports, and the exit status
// that says whether a fault is new.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::testing {
namespace {

using nlohmann::json;

// A report of routes given as {key, status, messages}.
std::string report(const json& routes) {
  json doc = {{"routes", json::array()}, {"summary", json::object()}};
  for (const auto& r : routes)
    doc["routes"].push_back({{"key", r[0]},
                             {"status", r[1]},
                             {"kernel", nullptr},
                             {"hardware", nullptr},
                             {"messages", r[2]}});
  return doc.dump();
}

TEST(Compare, EachRouteChangesOneWayAndANewFaultFailsTheComparison) {
  const TempDir dir;
  const json m = {"kernel has OIFs not in the hw"};
  const std::string old_report =
      dir.write("old.json", report({{"a", "ok", json::array()},
                                    {"b", "mismatch", m},
                                    {"c", "mismatch", m},
                                    {"d", "ok", json::array()},
                                    {"e", "missing-in-hw", json::array()},
                                    {"f", "ok", json::array()}}));
  const std::string new_report =
      dir.write("new.json", report({{"a", "mismatch", m},
                                    {"b", "ok", json::array()},
                                    {"c", "missing-in-kernel", json::array()},
                                    {"e", "missing-in-hw", json::array()},
                                    {"f", "ok", json::array()},
                                    {"g", "originated", json::array()}}));
  const CliRun text = run_cli({"compare", old_report, new_report});
  EXPECT_EQ(text.status, 1);
  EXPECT_EQ(text.out,
            "new-fault: a: ok -> mismatch\n"
            "    kernel has OIFs not in the hw\n"
            "cleared: b: mismatch -> ok\n"
            "changed: c: mismatch -> missing-in-kernel\n"
            "disappeared: d: ok -> none\n"
            "appeared: g: none -> originated\n"
            "5 changes: 1 new-fault, 1 cleared, 1 appeared, 1 disappeared, 1 changed\n");
  const json changes = json::parse(run_cli({"compare", "--json", old_report, new_report}).out);
  EXPECT_EQ(changes["changes"][0], json({{"key", "a"},
                                         {"change", "new-fault"},
                                         {"old", {{"status", "ok"}, {"messages", json::array()}}},
                                         {"new", {{"status", "mismatch"}, {"messages", m}}}}));
  EXPECT_TRUE(changes["changes"][3]["new"].is_null());
  // Cleared faults only, or a route that appears faulty.
  EXPECT_EQ(run_cli({"compare", new_report, old_report}).status, 1);  // e.g. b: ok -> mismatch
  EXPECT_EQ(run_cli({"compare", old_report, old_report}).status, 0);
  const std::string appears =
      dir.write("appears.json", report({{"z", "missing-in-hw", json::array()}}));
  EXPECT_EQ(run_cli({"compare", dir.write("none.json", report(json::array())), appears}).status, 1);
}

TEST(Compare, WhatIsNoReportIsAnErrorNamingTheFile) {
  const TempDir dir;
  const std::string good = dir.write("good.json", report(json::array()));
  const struct {
    std::string text, error;
  } cases[] = {
      {R"({"error": {"kind": "os", "message": "cannot read x"}})", "its run failed: cannot read x"},
      {"[1, 2]", "no \"routes\" array"},
      {R"({"routes": [{"key": "k", "status": "fine", "messages": []}]})",
       "route k has the unknown status fine"},
      {R"({"routes": [{"key": "k"}]})", "route 1 lacks its key, status or messages"},
      {"{\"routes\": [", "not valid JSON at line 1, column 13: syntax error"},
  };
  for (const auto& c : cases) {
    const std::string bad = dir.write("bad.json", c.text);
    const CliRun r = run_cli({"compare", good, bad});
    EXPECT_EQ(r.status, 2) << c.text;
    EXPECT_NE(r.err.find(bad + ": not a report of grpaudit check --json: " + c.error),
              std::string::npos)
        << r.err;
  }
}

}  // namespace
}  // namespace grpaudit::testing

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::cli {
namespace {

using testing::CliRun;

CliRun run(std::vector<std::string> args) {
  return testing::run_cli(std::move(args));
}

const std::string kExample =
    std::string(GRPAUDIT_SOURCE_DIR) + "/tests/data/small_riot_switch.json";

const std::string kExampleDump =
    "blue, (10.9.0.5,239.10.10.10), iif: 4102\n"
    "  port: swp3\n"
    "  port: swp4, vlan: 3000\n"
    "  L2 replication ports:\n"
    "    port: swp2\n"
    "default, (0.0.0.0,239.3.3.3), iif: 4100\n"
    "default, (10.1.100.10,239.1.1.1), iif: 4100\n"
    "  port: swp2\n"
    "  port: swp3, vlan: 200\n"
    "  L2 replication ports:\n"
    "    port: swp1\n"
    "default, (10.1.200.20,239.2.2.2), iif: 4101\n"
    "  port: swp3\n"
    "  port: swp4, vlan: 3000\n"
    "  L2 replication ports:\n"
    "    port: swp2\n";

TEST(DumpCommand, PrintsEveryRouteOfTheExampleWithItsReplicationEntries) {
  const CliRun r = run({"dump", "--snapshot", kExample});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, kExampleDump);
}

TEST(DumpCommand, MemTableReadsTheSameRoutesFromTheL3EntryMemory) {
  testing::TempDir tmp;
  const std::string trace = tmp.path() + "/trace.jsonl";
  const CliRun r = run({"dump", "--snapshot", kExample, "--mem-table", "--trace", trace});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, kExampleDump);
  const std::string lines = testing::read_file(trace);
  EXPECT_NE(lines.find("dump chg l3_entry_ipv4_multicast"), std::string::npos);
  EXPECT_EQ(lines.find("ipmc table show"), std::string::npos);
}

TEST(DumpCommand, PrintsTheGivenKeysInTheirOrder) {
  const CliRun r = run({"dump", "--snapshot", kExample, "default, (10.1.200.20,239.2.2.2)",
                        "default, (0.0.0.0,239.3.3.3)", "default, (1.2.3.4,239.0.0.1)"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "default, (10.1.200.20,239.2.2.2), iif: 4101\n"
            "  port: swp3\n"
            "  port: swp4, vlan: 3000\n"
            "  L2 replication ports:\n"
            "    port: swp2\n"
            "default, (0.0.0.0,239.3.3.3), iif: 4100\n");
}

TEST(DumpCommand, ErrorsGoToStandardErrorWithExitStatusTwo) {
  testing::TempDir tmp;
  const struct {
    std::vector<std::string> args;
    std::string err_part;
  } cases[] = {
      {{"dump"}, "no source given"},
      {{"dump", "--snapshot", tmp.path() + "/missing.json"}, "missing.json"},
      {{"dump", "--snapshot", tmp.write("bad.json", "{not json")}, "bad.json"},
      {{"dump", "--snapshot", kExample, "default 10.1.1.1 239.1.1.1"}, "not a route key"},
      {{"dump", "--no-such-option"}, "--no-such-option"},
      {{}, ""},
      {{"frobnicate"}, "frobnicate"},
  };
  for (const auto& c : cases) {
    const CliRun r = run(c.args);
    EXPECT_EQ(r.status, 2) << c.args.size();
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("grpaudit: error: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.err_part), std::string::npos) << r.err;
  }
}

TEST(DumpCommand, ARouteListingThatTimesOutNamesTheCommand) {
  testing::TempDir tmp;
  auto doc = nlohmann::json::parse(testing::read_file(kExample));
  doc["sdk"]["commands"].erase("ipmc table show");
  const std::string snap = tmp.write("s.json", doc.dump());
  const CliRun r = run({"dump", "--snapshot", snap});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "grpaudit: error: ipmc table show timed out\n");
}

TEST(DumpCommand, HelpIsCompleteAndSucceeds) {
  const CliRun top = run({"--help"});
  EXPECT_EQ(top.status, 0);
  EXPECT_NE(top.out.find("dump"), std::string::npos);
  const CliRun sub = run({"dump", "--help"});
  EXPECT_EQ(sub.status, 0);
  for (const char* word : {"--snapshot", "--mem-table", "--trace", "KEY"}) {
    EXPECT_NE(sub.out.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace grpaudit::cli

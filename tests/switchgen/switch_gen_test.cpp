// The generated large switch, at a small size: it replays without a missing
// answer and checks with exactly the statuses it was built to have.

#include "switch_gen.h"

#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "grpaudit/platform/snapshot.h"
#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::testing {
namespace {

using nlohmann::json;

TEST(GeneratedSwitch, ChecksWithThePlantedStatusesFromEitherRouteTable) {
  const auto gen = switchgen::generate({.seed = 7, .scale = 0.01});
  const TempDir dir;
  const std::string path = dir.write("switch.json", platform::snapshot_to_json(gen.snapshot));
  for (const bool mem_table : {false, true}) {
    SCOPED_TRACE(mem_table ? "--mem-table" : "ipmc table");
    const std::string trace = dir.path() + "/trace.jsonl";
    std::vector<std::string> args{"check", "--snapshot", path, "--json", "--trace", trace};
    if (mem_table) args.push_back("--mem-table");
    const CliRun r = run_cli(args);
    ASSERT_EQ(r.status, 1) << r.err << r.out;  // the planted faults

    const auto summary = json::parse(r.out).at("summary").get<std::map<std::string, std::size_t>>();
    EXPECT_EQ(summary, gen.expected.statuses);
    EXPECT_GT(summary.at("ok"), 10 * summary.at("mismatch"));
    for (const char* s : {"mismatch", "missing-in-hw", "missing-in-kernel", "originated",
                          "terminated", "unresolved"}) {
      EXPECT_GT(summary.at(s), 0u) << s;
    }

    // Every program the run started is in the snapshot; only the MLAG tool,
    // which this switch does not have, cannot be started.
    std::istringstream lines(read_file(trace));
    std::size_t sdk = 0;
    for (std::string line; std::getline(lines, line);) {
      const json entry = json::parse(line);
      if (entry.contains("sdk")) ++sdk;
      if (entry.contains("run") && entry.at("status").is_null()) {
        EXPECT_EQ(entry.at("run"), "/usr/bin/twynctl -v");
      }
    }
    EXPECT_GT(sdk, gen.expected.vlans);  // the VLANs of the routed copies were read
  }
}

TEST(GeneratedSwitch, IsReproducibleAndScales) {
  const auto a = switchgen::generate({.seed = 3, .scale = 0.02});
  EXPECT_EQ(a.snapshot, switchgen::generate({.seed = 3, .scale = 0.02}).snapshot);
  EXPECT_NE(a.snapshot, switchgen::generate({.seed = 4, .scale = 0.02}).snapshot);

  const auto b = switchgen::generate({.seed = 3, .scale = 0.04});
  EXPECT_EQ(b.expected.groups, 2 * a.expected.groups);
  EXPECT_EQ(b.expected.vlans, 2 * a.expected.vlans);
  EXPECT_EQ(b.expected.hw_routes, 2 * a.expected.hw_routes);
  EXPECT_GT(b.snapshot.sdk_commands.at("multicast show").size(),
            19 * a.snapshot.sdk_commands.at("multicast show").size() / 10);
}

}  // namespace
}  // namespace grpaudit::testing

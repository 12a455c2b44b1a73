// The built grpaudit binary, run as a user runs it: golden outputs of the
// example switches, exit statuses and error kinds.
//
// To accept new outputs after a deliberate change, run the test binary with
// GRPAUDIT_UPDATE_GOLDEN=1 and review the diff of tests/golden/.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "grpaudit/platform/process.h"
#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::testing {
namespace {

platform::ProcessResult grpaudit(std::vector<std::string> args) {
  args.insert(args.begin(), GRPAUDIT_BINARY);
  return platform::run_process(args);
}

void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = source_path("tests/golden/" + name);
  if (std::getenv("GRPAUDIT_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  EXPECT_EQ(actual, read_file(path)) << "golden file " << path;
}

class ExampleOutputs : public ::testing::TestWithParam<std::pair<std::string, int>> {};

TEST_P(ExampleOutputs, MatchTheGoldenFiles) {
  const auto& [example, check_status] = GetParam();
  const std::string snapshot = source_path("examples/" + example + ".json");

  const auto text = grpaudit({"check", "--snapshot", snapshot});
  EXPECT_EQ(text.status, check_status);
  expect_golden(example + ".check.txt", text.out);

  const auto json = grpaudit({"check", "--snapshot", snapshot, "--json"});
  EXPECT_EQ(json.status, check_status);
  expect_golden(example + ".check.json", json.out);

  const auto dump = grpaudit({"dump", "--snapshot", snapshot});
  EXPECT_EQ(dump.status, 0);
  expect_golden(example + ".dump.txt", dump.out);
}

INSTANTIATE_TEST_SUITE_P(Examples, ExampleOutputs,
                         ::testing::Values(std::pair<std::string, int>{"leaf-riot", 1},
                                           std::pair<std::string, int>{"traditional-bridge", 1},
                                           std::pair<std::string, int>{"mlag-peer", 0}),
                         [](const auto& info) {
                           std::string name = info.param.first;
                           for (char& c : name) {
                             if (c == '-') c = '_';
                           }
                           return name;
                         });

TEST(BinaryErrors, ExitTwoWithTheKindOfTheError) {
  TempDir tmp;
  const struct {
    std::vector<std::string> args;
    std::string kind;
  } cases[] = {
      {{"check", "--json"}, "usage"},
      {{"check", "--json", "--no-such-flag"}, "usage"},
      {{"check", "--json", "--snapshot", source_path("examples/leaf-riot.json"), "not a key"},
       "usage"},
      {{"check", "--json", "--snapshot", tmp.write("x.json", "[1, 2")}, "snapshot"},
      {{"check", "--json", "--snapshot", tmp.write("fmt.json", R"({"format": "other"})")},
       "snapshot"},
  };
  for (const auto& c : cases) {
    const auto r = grpaudit(c.args);
    EXPECT_EQ(r.status, 2) << c.kind;
    EXPECT_EQ(nlohmann::json::parse(r.out)["error"]["kind"], c.kind) << r.out;
  }
  const auto plain = grpaudit({"dump", "--snapshot", tmp.path() + "/none.json"});
  EXPECT_EQ(plain.status, 2);
  EXPECT_EQ(plain.out, "");
  const auto help = grpaudit({"check", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--sdk-shell"), std::string::npos);
}

}  // namespace
}  // namespace grpaudit::testing

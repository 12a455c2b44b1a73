// check --confirm: faults read again; one that is gone the second time is
// transient, one that stays keeps its status, and the exit status follows.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::testing {
namespace {

using nlohmann::json;

TEST(Confirm, AFaultGoneTheSecondTimeIsTransient) {
  const TempDir dir;
  const std::string leaf = source_path("examples/leaf-riot.json");
  json snap = json::parse(read_file(leaf));
  const char* listing = "/bin/ip -j mroute show table all";
  // The second read: the kernel route the ASIC lacked is gone.
  json routes = json::array();
  for (const auto& r : json::parse(snap["host"]["commands"][listing]["stdout"].get<std::string>()))
    if (r["src"] != "10.1.100.13") routes.push_back(r);
  snap["rounds"] = {{{"host", {{"commands", {{listing, {{"stdout", routes.dump()}}}}}}}}};
  const std::string file = dir.write("confirm.json", snap.dump());

  const CliRun r = run_cli({"check", "--json", "--snapshot", file, "--confirm", "0"});
  EXPECT_EQ(r.status, 1);  // the mismatches stay
  const json doc = json::parse(r.out);
  json transient;
  for (const auto& route : doc["routes"])
    if (route["key"] == "default, (10.1.100.13,239.1.1.4)") transient = route;
  EXPECT_EQ(transient["status"], "transient");
  EXPECT_EQ(transient["first"], json({{"status", "missing-in-hw"}, {"messages", json::array()}}));
  EXPECT_EQ(doc["summary"]["transient"], 1);
  EXPECT_EQ(doc["summary"]["missing-in-hw"], 0);
  EXPECT_EQ(doc["summary"]["mismatch"], 3);

  // Faults that stay are reported as without --confirm.
  EXPECT_EQ(run_cli({"check", "--json", "--snapshot", leaf, "--confirm", "0"}).out,
            run_cli({"check", "--json", "--snapshot", leaf}).out);
  EXPECT_EQ(
      run_cli({"check", "--snapshot", leaf, "--confirm", "0", "--record", dir.path() + "/r.json"})
          .err,
      "grpaudit: error: --confirm neither traces nor records (a recording holds one read)\n");
}

}  // namespace
}  // namespace grpaudit::testing

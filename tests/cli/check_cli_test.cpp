// grpaudit check end to end: the example switches, the JSON schema, filters,
// recording and replaying, the live SDK transport, errors.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::testing {
namespace {

using nlohmann::json;

const std::string kLeaf = source_path("examples/leaf-riot.json");
const std::string kTraditional = source_path("examples/traditional-bridge.json");
const std::string kMlag = source_path("examples/mlag-peer.json");

std::map<std::string, std::string> statuses(const json& doc) {
  std::map<std::string, std::string> out;
  for (const auto& r : doc.at("routes")) out[r.at("key")] = r.at("status");
  return out;
}

TEST(CheckExamples, EveryRouteGetsTheStatusItsSwitchCallsFor) {
  const struct {
    std::string file;
    int exit;
    std::map<std::string, std::string> statuses;
  } cases[] = {
      {kLeaf,
       1,
       {{"blue, (10.30.0.5,239.3.3.3)", "mismatch"},
        {"default, (0.0.0.0,239.255.0.1)", "terminated"},
        {"default, (10.1.100.10,239.1.1.1)", "ok"},
        {"default, (10.1.100.12,239.1.1.3)", "mismatch"},
        {"default, (10.1.100.13,239.1.1.4)", "missing-in-hw"},
        {"default, (10.1.100.14,239.1.1.5)", "unresolved"},
        {"default, (10.1.200.20,239.2.2.2)", "ok"},
        {"default, (10.1.200.21,239.2.2.3)", "mismatch"},
        {"default, (10.1.200.22,239.2.2.4)", "missing-in-kernel"}}},
      {kTraditional,
       1,
       {{"default, (10.2.0.5,239.5.5.5)", "ok"},
        {"default, (10.3.0.7,239.6.6.6)", "mismatch"},
        {"default, (10.4.0.9,239.6.6.7)", "ok"}}},
      {kMlag,
       0,
       {{"default, (0.0.0.0,239.10.0.4)", "terminated"},
        {"default, (10.10.0.5,239.10.0.1)", "ok"},
        {"default, (10.10.0.99,239.10.0.2)", "originated"},
        {"default, (10.255.0.1,239.10.0.3)", "originated"}}},
  };
  for (const auto& c : cases) {
    const CliRun r = run_cli({"check", "--snapshot", c.file, "--json"});
    EXPECT_EQ(r.status, c.exit) << c.file << r.err;
    EXPECT_EQ(statuses(json::parse(r.out)), c.statuses) << c.file;
  }
}

TEST(CheckJson, RoutesCarryBothSidesTheExpectationAndTheMessages) {
  const CliRun r = run_cli({"check", "--snapshot", kLeaf, "--json"});
  const json doc = json::parse(r.out);
  std::vector<std::string> keys;
  for (const auto& route : doc["routes"]) keys.push_back(route["key"]);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));

  const json& blue = doc["routes"][0];
  EXPECT_EQ(blue, json::parse(R"js({
    "key": "blue, (10.30.0.5,239.3.3.3)", "status": "mismatch",
    "kernel": {"iif": "vlan300", "oil": ["vlan100"]},
    "hardware": {"iif": 4101, "group": 33554435, "l3": ["swp1", "swp2.100", "swp6.100"],
                 "l2": ["swp2", "swp3", "swp5"]},
    "expected": {"iif": 4103, "l3": ["swp1", "swp2.100", "swp6.100"], "l2": ["swp2", "swp3", "swp5"]},
    "messages": ["kernel IIF does not match hw IIF"]})js"));

  for (const auto& route : doc["routes"]) {
    const std::string status = route["status"];
    EXPECT_TRUE(route.contains("messages")) << route;
    EXPECT_EQ(route.contains("expected"), status == "ok" || status == "mismatch") << route;
    if (status == "missing-in-kernel") {
      EXPECT_TRUE(route["kernel"].is_null());
    }
    if (status == "missing-in-hw") {
      EXPECT_TRUE(route["hardware"].is_null());
    }
  }
  const json& extra = doc["routes"][7];
  EXPECT_EQ(extra["key"], "default, (10.1.200.21,239.2.2.3)");
  EXPECT_EQ(extra["messages"], json::parse(R"(["hw has OIFs not in the kernel",
      "hw has L2-OIFs not in the kernel", "kernel has L2-OIFs not in the hw"])"));
  EXPECT_EQ(doc["summary"], json::parse(R"({"ok": 2, "mismatch": 3, "missing-in-hw": 1,
      "missing-in-kernel": 1, "originated": 0, "terminated": 1, "unresolved": 1})"));
  // The summary keeps its documented order.
  const auto ordered = nlohmann::ordered_json::parse(r.out);
  std::vector<std::string> order;
  for (const auto& [k, v] : ordered["summary"].items()) order.push_back(k);
  EXPECT_EQ(order, (std::vector<std::string>{"ok", "mismatch", "missing-in-hw", "missing-in-kernel",
                                             "originated", "terminated", "unresolved"}));
  // Compact: the opening, a line per route, the closing with the summary;
  // --pretty indents the same object.
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2 + doc["routes"].size());
  std::vector<std::string> args{"check", "--snapshot", kLeaf, "--json", "--pretty"};
  const CliRun pretty = run_cli(args);
  EXPECT_EQ(pretty.status, r.status);
  EXPECT_EQ(nlohmann::ordered_json::parse(pretty.out), ordered);
  EXPECT_NE(pretty.out.find("\n  \"summary\": {\n    \"ok\": 2,"), std::string::npos);
}

TEST(CheckText, ListsFaultyRoutesWithBothSidesThenASummary) {
  const CliRun r = run_cli({"check", "--snapshot", kTraditional});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "mismatch: default, (10.3.0.7,239.6.6.6)\n"
            "  kernel: iif swp3.20, oil br10\n"
            "  hardware:\n"
            "    default, (10.3.0.7,239.6.6.6), iif: 4002\n"
            "      errors:\n"
            "        kernel has OIFs not in the hw\n"
            "      port: swp1\n"
            "      port: swp5\n"
            "  expected: iif 4002; routed swp1 swp5 swp6; bridged (none)\n"
            "\n"
            "3 routes, 1 fault: 2 ok, 1 mismatch, 0 missing-in-hw, 0 missing-in-kernel, "
            "0 originated, 0 terminated, 0 unresolved\n");
  const CliRun clean = run_cli({"check", "--snapshot", kMlag});
  EXPECT_EQ(clean.status, 0);
  EXPECT_EQ(clean.out,
            "4 routes, no faults: 1 ok, 0 mismatch, 0 missing-in-hw, 0 missing-in-kernel, "
            "2 originated, 1 terminated, 0 unresolved\n");
  const CliRun quiet = run_cli({"check", "--snapshot", kLeaf, "--quiet"});
  EXPECT_EQ(quiet.status, 1);
  EXPECT_EQ(quiet.out, "");
}

TEST(CheckKeys, OnlyTheNamedRoutesAreComparedAndReported) {
  const CliRun r =
      run_cli({"check", "--snapshot", kLeaf, "--json", "default, (10.1.200.20,239.2.2.2)",
               "default, (10.1.100.12,239.1.1.3)", "default, (9.9.9.9,239.9.9.9)"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(statuses(json::parse(r.out)),
            (std::map<std::string, std::string>{{"default, (10.1.100.12,239.1.1.3)", "mismatch"},
                                                {"default, (10.1.200.20,239.2.2.2)", "ok"},
                                                {"default, (9.9.9.9,239.9.9.9)", "absent"}}));
  const CliRun ok = run_cli({"check", "--snapshot", kLeaf, "default, (10.1.200.20,239.2.2.2)"});
  EXPECT_EQ(ok.status, 0);
}

TEST(CheckErrors, UsageAndSourceErrorsExitTwoWithTheirKind) {
  TempDir tmp;
  json bad_routes = json::parse(read_file(kMlag));
  bad_routes["host"]["commands"]["/bin/ip -j mroute show table all"]["stdout"] =
      "[{\"src\": \"10.1.1.1\",\n  \"dst\" 5}]";
  const struct {
    std::vector<std::string> args;
    std::string kind;
    std::string message_part;
  } cases[] = {
      {{"check", "--json"}, "usage", "no source given"},
      {{"check", "--json", "--snapshot", kLeaf, "10.1.1.1,239.1.1.1"}, "usage", "not a route key"},
      {{"check", "--json", "--bogus"}, "usage", "--bogus"},
      {{"check", "--json", "--snapshot",
        tmp.write("v2.json", R"({"format":"grpaudit-snapshot","version":2})")},
       "snapshot",
       "v2.json"},
      {{"check", "--json", "--snapshot", kLeaf, "--sdk-shell", "x"}, "usage", "not both"},
      {{"check", "--json", "--sdk-shell", "/bin/cat"}, "usage", "--port-table"},
      {{"check", "--json", "--sdk-shell", "x", "--sdk-session", "y"}, "usage", "not both"},
      {{"check", "--json", "--sdk-shell", "x", "--sdk-prompt", "> "}, "usage", "--sdk-session"},
      {{"check", "--json", "--sdk-session", "x", "--sdk-prompt", "(", "--port-table",
        tmp.write("ports", "xe0 swp1\n")},
       "usage",
       "--sdk-prompt: not a usable prompt pattern: ("},
      {{"check", "--json", "--snapshot",
        tmp.write("timeout.json", R"({"format":"grpaudit-snapshot", "version":1,
          "host":{"commands":{"ls /quorvex/hwprogd/debug/mroute/info":{"status":2}}}})")},
       "runtime",
       "show portmap timed out"},
      {{"check", "--json", "--snapshot", tmp.write("routes.json", bad_routes.dump())},
       "json",
       "line 2, column 9: /bin/ip -j mroute show table all: "},
  };
  for (const auto& c : cases) {
    const CliRun r = run_cli(c.args);
    EXPECT_EQ(r.status, 2) << c.message_part;
    const json doc = json::parse(r.out);
    EXPECT_EQ(doc["error"]["kind"], c.kind) << r.out;
    EXPECT_NE(doc["error"]["message"].get<std::string>().find(c.message_part), std::string::npos)
        << r.out;
  }
  const CliRun plain = run_cli({"check", "--snapshot", tmp.path() + "/absent.json"});
  EXPECT_EQ(plain.status, 2);
  EXPECT_EQ(plain.out, "");
  EXPECT_EQ(plain.err.rfind("grpaudit: error: snapshot ", 0), 0u) << plain.err;
}

TEST(CheckRecord, ARecordingReplaysToTheSameReportByteForByte) {
  TempDir tmp;
  for (const std::string& example : {kLeaf, kTraditional, kMlag}) {
    const std::string rec = tmp.path() + "/rec.json";
    const CliRun first = run_cli({"check", "--snapshot", example, "--json", "--record", rec});
    const CliRun again = run_cli({"check", "--snapshot", rec, "--json"});
    EXPECT_EQ(again.status, first.status) << example;
    EXPECT_EQ(again.out, first.out) << example;
    const CliRun text1 = run_cli({"check", "--snapshot", example});
    const CliRun text2 = run_cli({"check", "--snapshot", rec});
    EXPECT_EQ(text1.out, text2.out) << example;
    // A recording of a replay keeps what the replayed snapshot says of itself.
    EXPECT_EQ(json::parse(read_file(rec)).at("description"),
              json::parse(read_file(example)).at("description"));
  }
}

TEST(CheckRecord, AFailedRunWritesNoRecordingButItsTrace) {
  TempDir tmp;
  const std::string bad = tmp.write("bad.json", R"({"format":"grpaudit-snapshot","version":1,
      "host":{"commands":{"ls /quorvex/hwprogd/debug/mroute/info":{"status":2}}},
      "sdk":{"commands":{"show portmap":"pipe logical\nxe0 0 1\n"}}})");
  const CliRun r = run_cli({"check", "--snapshot", bad, "--record", tmp.path() + "/rec.json",
                            "--trace", tmp.path() + "/trace.jsonl"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "grpaudit: error: pvlan show\n");
  EXPECT_FALSE(std::filesystem::exists(tmp.path() + "/rec.json"));
  EXPECT_NE(read_file(tmp.path() + "/trace.jsonl").find(R"({"sdk":"pvlan show"})"),
            std::string::npos);
}

// A live switch behind an SDK transport script; `dump` reads no kernel route.
class LiveTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    transport_ = tmp_.write(
        "sdk.sh",
        "case \"$1\" in\n"
        "  'show portmap') printf 'pipe logical\\nxe0 0 1\\n' ;;\n"
        "  'pvlan show') echo 'Port xe0 default VLAN is 100' ;;\n"
        "  'l3 intf show') printf 'x\\nUnit Intf VRF VLAN\\n--\\n' ;;\n"
        "  'sc L3IngressMode') echo 0x0 ;;\n"
        "  'ipmc table show') [ -n \"$SLOW\" ] && sleep 30\n"
        "    printf 'SRC x x MC x x GROUP VLAN VRF\\n--\\n10.1.1.1 239.1.1.1 1 100 0\\n' ;;\n"
        "  *) ;;\n"
        "esac\n");
    ports_ = tmp_.write("ports", "# sdk linux\nxe0 swp1\n");
  }
  void TearDown() override {
    ::unsetenv("SLOW");
    ::unsetenv("GRPAUDIT_SDK_TIMEOUT_MS");
    ::unsetenv("GRPAUDIT_SDK_SHELL");
    ::unsetenv("GRPAUDIT_PORT_TABLE");
  }

  TempDir tmp_;
  std::string transport_, ports_;
};

TEST_F(LiveTransport, DumpsThroughTheTransportAndRecordsWhatItRead) {
  const std::string rec = tmp_.path() + "/rec.json";
  const CliRun live = run_cli(
      {"dump", "--sdk-shell", "/bin/sh " + transport_, "--port-table", ports_, "--record", rec});
  ASSERT_EQ(live.status, 0) << live.err;
  EXPECT_EQ(live.out, "default, (10.1.1.1,239.1.1.1), iif: 100\n");
  const CliRun replayed = run_cli({"dump", "--snapshot", rec});
  EXPECT_EQ(replayed.out, live.out);

  ::setenv("GRPAUDIT_SDK_SHELL", ("/bin/sh " + transport_).c_str(), 1);
  ::setenv("GRPAUDIT_PORT_TABLE", ports_.c_str(), 1);
  EXPECT_EQ(run_cli({"dump"}).out, live.out);
}

// The stand-in shell over an example, per command and as one session: the
// same dumps and the same recordings of the switch.
TEST(LiveSession, AnswersAsThePerCommandTransport) {
  TempDir tmp;
  for (const std::string& example : {kLeaf, kTraditional, kMlag}) {
    const json snap = json::parse(read_file(example));
    std::string ports, vrfs;
    for (const auto& [sdk, linux] : snap["port_table"]["sdk_to_linux"].items())
      ports += sdk + " " + linux.get<std::string>() + "\n";
    for (const auto& [id, name] : snap["vrfs"].items())
      vrfs += id + " " + name.get<std::string>() + "\n";
    const std::vector<std::string> live = {"--port-table", tmp.write("ports", ports), "--vrf-map",
                                           tmp.write("vrfs", vrfs)};
    const std::string standin = GRPAUDIT_STANDIN_SDK;
    for (const std::string table : {"", "--mem-table"}) {
      SCOPED_TRACE(example + " " + table);
      std::vector<json> recorded;
      std::vector<std::string> dumps;
      for (const auto& source :
           {std::vector<std::string>{"--sdk-shell", standin + " " + example},
            std::vector<std::string>{"--sdk-session", standin + " --session " + example}}) {
        std::vector<std::string> args = {"dump", "--record", tmp.path() + "/rec.json"};
        if (!table.empty()) args.push_back(table);
        args.insert(args.end(), source.begin(), source.end());
        args.insert(args.end(), live.begin(), live.end());
        const CliRun r = run_cli(args);
        ASSERT_EQ(r.status, 0) << r.err;
        dumps.push_back(r.out);
        const json rec = json::parse(read_file(tmp.path() + "/rec.json"));
        recorded.push_back({rec["sdk"], rec["host"]});
      }
      EXPECT_EQ(dumps[0], dumps[1]);
      EXPECT_EQ(recorded[0], recorded[1]);
    }
  }
}

TEST_F(LiveTransport, AnUnansweredCommandIsTheReadersTimeOut) {
  ::setenv("SLOW", "1", 1);
  ::setenv("GRPAUDIT_SDK_TIMEOUT_MS", "300", 1);
  const CliRun r =
      run_cli({"dump", "--sdk-shell", "/bin/sh " + transport_, "--port-table", ports_});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "grpaudit: error: ipmc table show timed out\n");
}

}  // namespace
}  // namespace grpaudit::testing

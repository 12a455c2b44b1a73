// Failures an operator must be able to trust: a report that cannot be
// written fails the run, options that name nothing are refused, a recording
// that could not be written is refused before the run, a key that names no
// route says so, and an input the run had to do without is warned of.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <tuple>
#include <utility>

#include "grpaudit/platform/process.h"
#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kLeaf = source_path("examples/leaf-riot.json");
const std::string kBridge = source_path("examples/traditional-bridge.json");

TEST(Failures, AReportThatCannotBeWrittenFailsTheRun) {
  for (const std::string args : {"check", "check --json", "dump"}) {
    SCOPED_TRACE(args);
    // Standard error is brought to standard output, which the test reads.
    const auto r = platform::run_process(
        {"/bin/sh", "-c",
         "exec 2>&1 " GRPAUDIT_BINARY " " + args + " --snapshot " + kLeaf + " >/dev/full"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "grpaudit: error: cannot write the report: No space left on device\n");
  }
}

// Whether process `pid` still runs (a zombie waiting for its reaper does not).
bool runs(const std::string& pid) {
  for (int tries = 0; tries < 40; ++tries) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return false;
    const auto state = line.find(") ");
    if (state != std::string::npos && line.compare(state + 2, 1, "Z") == 0) return false;
    ::usleep(50000);
  }
  return true;
}

TEST(Failures, AnInterruptedRunLeavesNoProcessBehind) {
  const TempDir dir;
  // A transport that never answers, in its own process group, with a child.
  const std::string shell = dir.write("hang.sh", "#!/bin/sh\necho $$ >" + dir.path() +
                                                     "/shell.pid\n"
                                                     "sleep 60 & echo $! >" +
                                                     dir.path() + "/sleep.pid\nwait\n");
  ASSERT_EQ(::chmod(shell.c_str(), 0755), 0);
  const std::string ports = dir.write("ports", "xe0 swp1\n");
  // Per command and as a session (which never sees its prompt).
  for (const auto& [signal, status, mode] :
       {std::tuple{"INT", 130, "--sdk-shell"}, std::tuple{"TERM", 143, "--sdk-session"}}) {
    SCOPED_TRACE(signal);
    const auto r =
        platform::run_process({"/bin/sh", "-c",
                               std::string(GRPAUDIT_BINARY) + " check " + mode + " " + shell +
                                   " --port-table " + ports + " 2>&1 & pid=$!; while [ ! -s " +
                                   dir.path() + "/sleep.pid ]; do sleep 0.05; done; kill -" +
                                   signal + " $pid; wait $pid; echo \"exit $?\""});
    EXPECT_EQ(r.out, "grpaudit: interrupted\nexit " + std::to_string(status) + "\n");
    for (const char* file : {"/shell.pid", "/sleep.pid"}) {
      const std::string pid = read_file(dir.path() + file);
      EXPECT_FALSE(runs(pid.substr(0, pid.find('\n')))) << file;
    }
    ::unlink((dir.path() + "/sleep.pid").c_str());
  }
}

TEST(Failures, ASnapshotFromStandardInputAsFromItsFile) {
  const auto piped = platform::run_process(
      {"/bin/sh", "-c", "exec " GRPAUDIT_BINARY " check --json --snapshot - <" + kLeaf});
  EXPECT_EQ(piped.status, 1);
  EXPECT_EQ(piped.out, run_cli({"check", "--json", "--snapshot", kLeaf}).out);
}

TEST(Failures, BadOptionsAreRefusedBeforeAnythingRuns) {
  const TempDir dir;
  const std::string trace = dir.path() + "/trace.jsonl";
  const std::string no_ports = dir.write("none.ports", "# nothing yet\n");
  const std::string ports = dir.write("ok.ports", "xe0 swp1\n");
  const std::string vrfs = dir.write("bad.vrfs", "2 blue\n99999999999999999999 red\n");
  // A snapshot whose host section lacks the route listing.
  auto doc = nlohmann::json::parse(read_file(kLeaf));
  doc["host"]["commands"].erase("/bin/ip -j mroute show table all");
  const std::string no_routes = dir.write("no-routes.json", doc.dump());
  const auto live = [&](std::vector<std::string> files) {
    std::vector<std::string> args = {"check", "--sdk-shell", "/bin/false", "--trace", trace};
    args.insert(args.end(), files.begin(), files.end());
    return args;
  };
  const struct {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"check", "--snapshot", ""}, "--snapshot needs a FILE, not an empty text"},
      {{"check", "--snapshot", kLeaf, "--trace", ""}, "--trace needs a FILE, not an empty text"},
      {{"dump", "--snapshot", kLeaf, "--record", ""}, "--record needs a FILE, not an empty text"},
      {{"check", "--snapshot", kLeaf, "--trace", trace, "--record", "/no/such/dir/x.json"},
       "--record /no/such/dir/x.json: cannot write in /no/such/dir: No such file or directory"},
      {{"check", "--snapshot", kLeaf, "--trace", trace, "--metrics-file", "/no/such/dir/m.prom"},
       "--metrics-file /no/such/dir/m.prom: cannot write in /no/such/dir: No such file or "
       "directory"},
      {{"check", "--snapshot", kLeaf, "--trace", trace, "--record", "/dev/null"},
       "--record /dev/null: not a regular file"},
      {{"check", "--snapshot", kLeaf, "--trace", trace, "--record", dir.path()},
       "--record " + dir.path() + ": not a regular file"},
      // dump has no --json: its usage errors are plain text. Errors of the
      // command line are in the tool's words, with where to look.
      {{"dump", "--snapshot", kLeaf, "--json"}, "unknown option --json (see grpaudit dump --help)"},
      {{"check", "--bogus"}, "unknown option --bogus (see grpaudit check --help)"},
      {{"check", "--snapshot"}, "--snapshot needs a value (see grpaudit check --help)"},
      {{}, "a command is required: check, dump, compare or watch (see grpaudit --help)"},
      // A snapshot that lacks an answer says so.
      {{"check", "--snapshot", no_routes},
       "snapshot " + no_routes +
           " has no answer for `/bin/ip -j mroute show table all`: No such file or directory"},
      // The live switch's files: the option, the file and the line.
      {live({"--port-table", dir.path()}),
       "--port-table " + dir.path() + ": cannot read: Is a directory"},
      {live({"--port-table", no_ports}), "--port-table: port table " + no_ports + " lists no port"},
      {live({"--port-table", ports, "--vrf-map", vrfs}),
       "--vrf-map: VRF map " + vrfs + " line 2: VRF id 99999999999999999999 is out of range"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    const CliRun r = run_cli(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "grpaudit: error: " + c.error + "\n");
    EXPECT_NE(::access(trace.c_str(), F_OK), 0) << "the run began";
  }
  const auto version = platform::run_process({GRPAUDIT_BINARY, "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_THAT(version.out, StartsWith("grpaudit "));
}

TEST(Failures, ARecordingReplacesTheFileALinkNamesAndKeepsItsMode) {
  const TempDir dir;
  const std::string file = dir.write("kept.json", "old");
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  const std::string link = dir.path() + "/link.json";
  ASSERT_EQ(::symlink("kept.json", link.c_str()), 0);
  EXPECT_EQ(run_cli({"dump", "--snapshot", kLeaf, "--record", link}).status, 0);
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_THAT(read_file(file), HasSubstr("grpaudit-snapshot"));
}

TEST(Failures, AKeyThatNamesNoRouteIsAbsent) {
  const std::string typo = "default, (10.1.100.10,239.1.1.9)";
  const CliRun json = run_cli({"check", "--snapshot", kLeaf, "--json", typo});
  EXPECT_EQ(json.status, 0);
  const auto doc = nlohmann::json::parse(json.out);
  EXPECT_EQ(doc.at("routes").at(0).at("status"), "absent");
  EXPECT_EQ(doc.at("summary").at("absent"), 1);
  const CliRun text = run_cli({"check", "--snapshot", kLeaf, typo});
  EXPECT_THAT(text.out, StartsWith("absent: " + typo + "\n"));
  EXPECT_THAT(text.out, HasSubstr("1 route, no faults: "));
  const CliRun dump = run_cli({"dump", "--snapshot", kLeaf, typo});
  EXPECT_EQ(dump.status, 0);
  EXPECT_EQ(dump.err, "grpaudit: no such route in the hardware: " + typo + "\n");
}

TEST(Failures, WhatARunHadToDoWithoutIsWarnedOf) {
  using nlohmann::json;
  const struct {
    std::string example;
    std::function<void(json&)> spoil;
    std::vector<std::string> warnings;
  } cases[] = {
      {kLeaf,
       [](json& s) {
         // The daemon's next-hop file cannot be read: the copies' interfaces
         // are unknown, and so are their VLANs.
         s["host"]["commands"]["cat /quorvex/hwprogd/debug/mroute/info"] = {{"status", 1},
                                                                            {"stdout", ""}};
         s["sdk"]["commands"]["vlan show -1"] = "";
         s["host"]["commands"]["/bin/ip -j -d link show type vrf"]["status"] = 255;
       },
       {"`cat /quorvex/hwprogd/debug/mroute/info` exited with status 1; its output is taken as "
        "empty",
        "L3 interface 100001 has no VLAN in `l3 intf show`; its copies were looked up as VLAN -1",
        "L3 interface 100002 has no VLAN in `l3 intf show`; its copies were looked up as VLAN -1",
        "L3 interface 100003 has no VLAN in `l3 intf show`; its copies were looked up as VLAN -1",
        "`/bin/ip -j -d link show type vrf` exited with status 255; its output is taken as empty"}},
      {kBridge,
       [](json& s) {
         s["host"]["dirs"].erase("/sys/class/net/br10/brif");
         s["host"]["files"].erase("/sys/class/net/bond1/bonding/slaves");
         s["host"]["commands"]["/bin/ip -d link show swp3.20"]["status"] = -9;
       },
       {"cannot list /sys/class/net/br10/brif: No such file or directory; bridge br10 is taken as "
        "having no ports",
        "`/bin/ip -d link show swp3.20` was killed by signal 9; its output is taken as empty",
        "cannot read /sys/class/net/bond1/bonding/slaves: No such file or directory; taken as "
        "empty"}},
  };
  const TempDir dir;
  for (const auto& c : cases) {
    json snap = json::parse(read_file(c.example));
    c.spoil(snap);
    const std::string file = dir.write("spoilt.json", snap.dump());
    SCOPED_TRACE(c.example);
    std::string lines;
    for (const auto& w : c.warnings) lines += "grpaudit: warning: " + w + "\n";

    const CliRun text = run_cli({"check", "--snapshot", file});
    EXPECT_EQ(text.err, lines);
    const CliRun report = run_cli({"check", "--snapshot", file, "--json"});
    EXPECT_EQ(report.status, text.status);
    EXPECT_EQ(json::parse(report.out).at("warnings"), json(c.warnings));
    EXPECT_EQ(run_cli({"check", "--snapshot", file, "--quiet"}).err, "");
  }
  // A run without any says nothing of them.
  EXPECT_FALSE(
      json::parse(run_cli({"check", "--snapshot", kLeaf, "--json"}).out).contains("warnings"));
}

}  // namespace
}  // namespace grpaudit::testing

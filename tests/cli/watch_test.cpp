// grpaudit watch: runs over a snapshot whose later reads differ, logging
// only what changes, on standard error and to syslog.

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "grpaudit/platform/process.h"
#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::testing {
namespace {

using nlohmann::json;

constexpr const char* kRoutes = "/bin/ip -j mroute show table all";

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    out.push_back(text.substr(start, nl - start));
  return out;
}

// leaf-riot read five times: a sound route turns faulty in the second read,
// the route listing fails in the third and is back as at first in the fourth.
std::string rounds_snapshot(const TempDir& dir) {
  json snap = json::parse(read_file(source_path("examples/leaf-riot.json")));
  const json first = snap["host"]["commands"][kRoutes];
  json routes = json::parse(first["stdout"].get<std::string>());
  routes[0]["iif"] = "vlan300";
  snap["rounds"] = {
      {{"host", {{"commands", {{kRoutes, {{"status", 0}, {"stdout", routes.dump()}}}}}}}},
      {{"host", {{"commands", {{kRoutes, {{"status", 1}, {"stdout", ""}}}}}}}},
      {{"host", {{"commands", {{kRoutes, first}}}}}},
  };
  return dir.write("rounds.json", snap.dump());
}

const std::string kNewFault =
    "fault: default, (10.1.100.10,239.1.1.1): mismatch: kernel IIF does not match hw IIF; hw has "
    "OIFs not in the kernel; hw has L2-OIFs not in the kernel; kernel has L2-OIFs not in the hw";

TEST(Watch, LogsOnlyWhatChangesFromRunToRun) {
  const TempDir dir;
  const std::string snap = rounds_snapshot(dir);
  const CliRun r = run_cli({"watch", "--snapshot", snap, "--interval", "0", "--count", "5",
                            "--metrics-file", dir.path() + "/m.prom"});
  EXPECT_EQ(r.status, 1);  // the last run has faults
  const auto lines = lines_of(r.err);
  ASSERT_EQ(lines.size(), 9u) << r.err;
  // The first run's faults, then only the changes.
  EXPECT_EQ(lines[0].rfind("grpaudit: fault: blue, (10.30.0.5,239.3.3.3): mismatch", 0), 0u);
  EXPECT_EQ(lines[5], "grpaudit: " + kNewFault);
  EXPECT_EQ(lines[6], "grpaudit: run failed: cannot read the kernel's multicast routes");
  EXPECT_EQ(lines[7], "grpaudit: run works again");
  EXPECT_EQ(lines[8], "grpaudit: cleared: default, (10.1.100.10,239.1.1.1): now ok");
  EXPECT_NE(read_file(dir.path() + "/m.prom").find("grpaudit_run_success 1\n"), std::string::npos);

  EXPECT_EQ(run_cli({"watch", "--snapshot", snap, "--interval", "0", "--count", "1", "--trace",
                     dir.path() + "/t"})
                .err,
            "grpaudit: error: watch neither traces nor records its runs (check does)\n");
}

TEST(Watch, AConfirmedRunLogsNoFaultThatTheNextReadFindsGone) {
  const TempDir dir;
  json snap = json::parse(read_file(rounds_snapshot(dir)));
  // A blip: the second read has the new fault, the third is as the first.
  snap["rounds"][1] = snap["rounds"][2];
  const std::string file = dir.write("blip.json", snap.dump());
  const auto faults = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"watch", "--snapshot", file, "--interval",
                                     "0",     "--count",    "2"};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_cli(args).err.find(kNewFault) != std::string::npos;
  };
  EXPECT_TRUE(faults({}));
  EXPECT_FALSE(faults({"--confirm", "0"}));
}

// Syslog, read from a datagram socket of the test's own at /dev/log, in a
// private mount namespace whose /dev is a fresh one with the real /dev/null.
TEST(Watch, LogsToSyslogWithPriorities) {
  const TempDir dir;
  const std::string snap = rounds_snapshot(dir);
  const std::string out = dir.path() + "/syslog.txt";
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string old_dev = dir.path() + "/dev";
    ::mkdir(old_dev.c_str(), 0755);
    if (::unshare(CLONE_NEWNS) != 0 ||
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("/dev", old_dev.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
        ::mount("tmpfs", "/dev", "tmpfs", 0, nullptr) != 0) {
      std::ofstream(out) << "skip: " << std::strerror(errno);
      ::_exit(0);
    }
    std::ofstream(std::string("/dev/null")).close();
    ::mount((old_dev + "/null").c_str(), "/dev/null", nullptr, MS_BIND, nullptr);
    const int sock = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, "/dev/log");
    ::bind(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    platform::run_process({GRPAUDIT_BINARY, "watch", "--snapshot", snap, "--interval", "0",
                           "--count", "5", "--syslog"});
    std::ofstream log(out);
    char buf[4096];
    ssize_t n;
    while ((n = ::recv(sock, buf, sizeof buf, MSG_DONTWAIT)) > 0)
      log << std::string(buf, n) << "\n";
    log.close();  // _exit flushes nothing
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  const std::string log = read_file(out);
  if (log.rfind("skip: ", 0) == 0) GTEST_SKIP() << log;
  const auto lines = lines_of(log);
  ASSERT_EQ(lines.size(), 9u) << log;
  // <facility daemon (3) * 8 + priority>: warning 4, err 3, notice 5.
  EXPECT_EQ(lines[5].rfind("<28>", 0), 0u) << lines[5];
  EXPECT_NE(lines[5].find(" grpaudit["), std::string::npos) << lines[5];
  EXPECT_NE(lines[5].find("]: " + kNewFault), std::string::npos) << lines[5];
  EXPECT_EQ(lines[6].rfind("<27>", 0), 0u) << lines[6];
  EXPECT_EQ(lines[7].rfind("<29>", 0), 0u) << lines[7];
  EXPECT_EQ(lines[8].rfind("<29>", 0), 0u) << lines[8];
}

}  // namespace
}  // namespace grpaudit::testing

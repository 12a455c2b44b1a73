// Recording a live check and replaying it: the real host runs everything,
// a stand-in program plays the SDK shell, and - since this kernel has no
// multicast routing - a stand-in for /bin/ip, bind-mounted in a private mount
// namespace, lists the kernel's multicast routes. The replay of the
// recording must print the very same report.

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "grpaudit/platform/process.h"
#include "support/cli_run.h"
#include "support/test_support.h"

namespace grpaudit::testing {
namespace {

constexpr const char* kTransport =
    "case \"$1\" in\n"
    "  'show portmap') printf 'pipe logical\\nxe0 0 1\\nxe1 0 2\\n' ;;\n"
    "  'pvlan show') printf 'Port xe0 default VLAN is 100\\nPort xe1 default VLAN is 200\\n' ;;\n"
    "  'l3 intf show') printf 'Unit 0\\nUnit Intf VRF VLAN\\n----\\n0 1 0 200\\n' ;;\n"
    "  'sc L3IngressMode') echo 0x0 ;;\n"
    "  'multicast show') printf 'Group 0x2000001 (IPMC)\\n\\tport xe1, encap id 1\\n' ;;\n"
    "  'vlan show 200') printf 'vlan 200\\tports xe1 (0x4), untagged xe1 (0x4)\\n' ;;\n"
    "  'ports xe1') printf 'head\\nhead\\n   xe1(  2)  up\\n' ;;\n"
    "  'ipmc table show') printf 'SRC x x MC x x GROUP VLAN VRF\\n--\\n10.1.1.1 239.1.1.1 1 100 "
    "0\\n' ;;\n"
    "esac\n";

// Answers the two route listings and hands everything else to the real ip.
std::string stand_in_ip(const std::string& real_ip) {
  return "#!/bin/sh\n"
         "case \"$*\" in\n"
         "  '-j mroute show table all') echo '["
         R"({"src":"10.1.1.1","dst":"239.1.1.1","iif":"swp1","multipath":[{"oif":"swp2"}],"state":"resolved"},)"
         R"({"src":"10.2.2.2","dst":"239.2.2.2","iif":"swp2","multipath":[{"oif":"swp1"}],"state":"resolved"})"
         "]' ;;\n"
         "  '-j -d link show type vrf') echo '[{}]' ;;\n"
         "  *) exec " +
         real_ip +
         " \"$@\" ;;\n"
         "esac\n";
}

// In a child with a private mount namespace, /bin/ip replaced by `ip`:
// runs grpaudit with `args`, its standard output into `out_path`.
int run_with_stand_in_ip(const std::string& ip, const std::vector<std::string>& args,
                         const std::string& out_path, std::string& skip_reason) {
  int pipefd[2];
  if (::pipe(pipefd) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipefd[0]);
    auto fail = [&](const char* what) {
      const std::string msg = std::string(what) + ": " + std::strerror(errno);
      (void)!::write(pipefd[1], msg.data(), msg.size());
      ::_exit(125);
    };
    if (::unshare(CLONE_NEWNS) != 0) fail("unshare of the mount namespace");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) fail("private mounts");
    if (::mount(ip.c_str(), "/bin/ip", nullptr, MS_BIND, nullptr) != 0)
      fail("bind mount on /bin/ip");
    std::vector<std::string> argv = args;
    argv.insert(argv.begin(), GRPAUDIT_BINARY);
    const auto r = platform::run_process(argv);
    std::ofstream(out_path, std::ios::binary) << r.out;
    ::_exit(r.status);
  }
  ::close(pipefd[1]);
  char buf[512];
  const ssize_t n = ::read(pipefd[0], buf, sizeof buf);
  ::close(pipefd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (n > 0) skip_reason.assign(buf, static_cast<std::size_t>(n));
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LiveRecording, ReplaysToTheSameReport) {
  TempDir tmp;
  const std::string real_ip = tmp.path() + "/real-ip";
  std::filesystem::copy_file("/bin/ip", real_ip);
  const std::string ip = tmp.write("ip", stand_in_ip(real_ip));
  std::filesystem::permissions(
      ip, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
              std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
              std::filesystem::perms::others_exec);
  const std::string transport = tmp.write("sdk.sh", kTransport);
  const std::string ports = tmp.write("ports", "xe0 swp1\nxe1 swp2\n");
  const std::string record = tmp.path() + "/leaf.json";

  std::string skip;
  const int live = run_with_stand_in_ip(ip,
                                        {"check", "--json", "--sdk-shell", "/bin/sh " + transport,
                                         "--port-table", ports, "--record", record},
                                        tmp.path() + "/live.out", skip);
  if (live == 125) GTEST_SKIP() << "cannot replace /bin/ip here: " << skip;

  const std::string live_out = read_file(tmp.path() + "/live.out");
  EXPECT_EQ(live, 1) << live_out;  // one route is missing from the ASIC
  const auto summary = nlohmann::json::parse(live_out).at("summary");
  EXPECT_EQ(summary.at("missing-in-hw"), 1) << live_out;
  EXPECT_EQ(summary.at("ok"), 1) << live_out;

  const auto replay =
      platform::run_process({GRPAUDIT_BINARY, "check", "--json", "--snapshot", record});
  EXPECT_EQ(replay.status, live);
  EXPECT_EQ(replay.out, live_out);

  // The recording says who made it, on which switch, when and how; a part of
  // it recorded from the replay keeps all that.
  const std::string trimmed = tmp.path() + "/trimmed.json";
  ASSERT_EQ(run_cli({"dump", "--snapshot", record, "--record", trimmed}).status, 0);
  for (const std::string& file : {record, trimmed}) {
    const auto made = nlohmann::json::parse(read_file(file)).at("recorded");
    EXPECT_EQ(made.at("program").get<std::string>().rfind("grpaudit ", 0), 0u);
    EXPECT_NE(made.at("host"), "");
    EXPECT_EQ(made.at("time").get<std::string>().size(),
              std::string("2026-12-09T03:59:16Z").size());
    EXPECT_EQ(made.at("options"),
              nlohmann::json({"check", "--json", "--sdk-shell", "/bin/sh " + transport,
                              "--port-table", ports, "--record", record}));
  }
}

}  // namespace
}  // namespace grpaudit::testing

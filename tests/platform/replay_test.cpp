#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <system_error>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::platform {
namespace {

std::shared_ptr<const Snapshot> lab_snapshot() {
  auto s = std::make_shared<Snapshot>();
  s->sdk_commands = {{"show unit", "unit 0\n"}};
  for (int i : {1, 2, 3, 5}) s->sdk_tables["VLAN"][std::to_string(i)] = {{"L3_IIF", i}};
  s->linux_ports = {"swp1", "swp2"};
  s->sdk_to_linux = {{"xe0", "swp1"}};
  s->vrfs = {{"0", "default"}, {"2", "blue"}};
  s->host_commands = {{"/bin/ip -d link show br0", {1, "br0: x\n"}}};
  s->host_files = {{"/proc/net/vlan/config", "cfg"}, {"/etc/odd/", "odd"}};
  s->host_dirs = {{"/sys/class/net/br0/brif/", {"swp1", "swp2"}}, {"/", {"etc"}}};
  return s;
}

// Checks that `f` throws std::system_error ENOENT with message `what`.
template <typename F>
void expect_enoent(F&& f, const std::string& what) {
  try {
    f();
    ADD_FAILURE() << "no error for " << what;
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code(), std::errc::no_such_file_or_directory);
    EXPECT_THAT(e.what(), ::testing::StartsWith(what + ": "));
  }
}

class Replay : public ::testing::Test {
 protected:
  Platform p = make_replay_platform(lab_snapshot());
};

TEST_F(Replay, SdkShellAnswersListedCommandsOnly) {
  for (int timeout : {0, 30}) {  // the timeout has no bearing on a replay
    const auto shell = p.sdk_shell(timeout);
    EXPECT_EQ(shell->run("show unit"), "unit 0\n");
    try {
      shell->run("show units");
      ADD_FAILURE() << "no error";
    } catch (const ShellIoError& e) {
      EXPECT_STREQ(e.what(), "SDK shell did not answer \"show units\"");
    }
  }
}

TEST_F(Replay, GettableStopsAtTheFirstGap) {
  const struct {
    std::string table;
    std::int64_t start, entries;
    std::vector<std::int64_t> iifs;
  } cases[] = {
      {"VLAN", 1, 3, {1, 2, 3}}, {"VLAN", 1, 10, {1, 2, 3}}, {"VLAN", 2, 1, {2}},
      {"VLAN", 5, 2, {5}},       {"VLAN", 4, 2, {}},         {"VLAN", 1, 0, {}},
      {"VLAN", -1, 3, {}},       {"L3_IIF", 1, 3, {}},
  };
  const auto shell = p.sdk_shell(0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.table + " " + std::to_string(c.start) + "+" + std::to_string(c.entries));
    std::vector<std::int64_t> iifs;
    for (const auto& f : shell->gettable(c.table, true, c.start, c.entries))
      iifs.push_back(f.at("L3_IIF"));
    EXPECT_EQ(iifs, c.iifs);
  }
}

TEST_F(Replay, PortTableAndVrfs) {
  const auto ports = p.port_table();
  EXPECT_EQ(ports->get_linux_ports(), (std::vector<std::string>{"swp1", "swp2"}));
  EXPECT_EQ(ports->bcm2linux("xe0"), "swp1");
  EXPECT_THROW(ports->bcm2linux("xe1"), std::out_of_range);

  const auto vrfs = p.vrf_db();
  EXPECT_EQ(vrfs->vrf_id2name(2), "blue");
  try {
    vrfs->vrf_id2name(7);
    ADD_FAILURE() << "no error";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "unknown VRF id 7");
  }
}

TEST_F(Replay, HostCommands) {
  const RunResult r = p.host->run({"/bin/ip", "-d", "link", "show", "br0"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "br0: x\n");
  expect_enoent(
      [&] {
        p.host->run({"/bin/ip", "-d", "link", "show", "br1"});
      },
      "cannot run /bin/ip");
  EXPECT_EQ(p.host->run_shell("exit 3"), 0);
}

TEST_F(Replay, PathsIgnoreTrailingSlashes) {
  const struct {
    std::string path;
    bool file, dir;
  } cases[] = {
      {"/proc/net/vlan/config", true, false},
      {"/proc/net/vlan/config/", true, false},
      {"/etc/odd", true, false},
      {"/sys/class/net/br0/brif", false, true},
      {"/sys/class/net/br0/brif//", false, true},
      {"/", false, true},
      {"/proc/net/vlan", false, false},
      {"", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(p.host->is_regular_file(c.path), c.file);
    EXPECT_EQ(p.host->is_directory(c.path), c.dir);
  }
  EXPECT_EQ(p.host->read_file("/etc/odd"), "odd");
  EXPECT_EQ(p.host->read_file("/proc/net/vlan/config/"), "cfg");
  EXPECT_EQ(p.host->list_dir("/sys/class/net/br0/brif").size(), 2u);
  EXPECT_EQ(p.host->list_dir("/"), std::vector<std::string>{"etc"});
}

TEST_F(Replay, UnlistedPathsFailLikeTheSystem) {
  expect_enoent([&] { p.host->read_file("/proc/nope"); }, "cannot read /proc/nope");
  expect_enoent([&] { p.host->read_file("/sys/class/net/br0/brif"); },
                "cannot read /sys/class/net/br0/brif");
  expect_enoent([&] { p.host->list_dir("/sys/nope/"); }, "cannot list /sys/nope/");
  expect_enoent([&] { p.host->list_dir("/proc/net/vlan/config"); },
                "cannot list /proc/net/vlan/config");
}

}  // namespace
}  // namespace grpaudit::platform

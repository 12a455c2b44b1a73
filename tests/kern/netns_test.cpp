// The kernel readers against a real kernel. A forked child enters fresh
// network and mount namespaces (sysfs remounted, so /sys/class/net shows the
// new namespace), builds bridges, veth ports, permanent MDB entries and
// multicast router ports there, and asks a live-host Asic about them. The
// namespaces, and everything in them, go away with the child.

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iostream>
#include <optional>
#include <regex>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "grpaudit/kern/kern_io.h"
#include "grpaudit/platform/link_batch.h"
#include "grpaudit/platform/live_host.h"
#include "grpaudit/platform/trace.h"
#include "support/kern_fixtures.h"

namespace grpaudit {
namespace {

using nlohmann::json;

// Two bridges (one of them named "bridge"), veth ports, permanent groups of
// which 239.1.1.1 and 239.129.1.1 share a MAC, and permanent router ports.
std::vector<std::string> setup_commands() {
  std::vector<std::string> cmds;
  for (const char* br : {"br0", "bridge"}) {
    cmds.push_back(fmt::format("/bin/ip link add name {} type bridge mcast_snooping 1", br));
    cmds.push_back(fmt::format("/bin/ip link set {} up", br));
  }
  const std::pair<const char*, const char*> ports[] = {
      {"swp1", "br0"}, {"swp2", "br0"}, {"vx1", "br0"}, {"swp3", "bridge"}};
  for (const auto& [port, br] : ports) {
    cmds.push_back(fmt::format("/bin/ip link add name {} type veth peer name {}p", port, port));
    cmds.push_back(fmt::format("/bin/ip link set {} master {}", port, br));
    cmds.push_back(fmt::format("/bin/ip link set {}p up", port));
    cmds.push_back(fmt::format("/bin/ip link set {} up", port));
  }
  for (const char* mdb : {"br0 port swp1 grp 239.1.1.1", "br0 port vx1 grp 239.129.1.1",
                          "br0 port swp2 grp 239.2.2.2", "bridge port swp3 grp 239.3.3.3"}) {
    cmds.push_back(fmt::format("/sbin/bridge mdb add dev {} permanent", mdb));
  }
  for (const char* port : {"swp2", "vx1", "swp3"}) {
    cmds.push_back(fmt::format("/sbin/bridge link set dev {} mcast_router 2", port));
  }
  return cmds;
}

json entry_json(const KernMdbEntry* e) {
  return e ? json(e->swp) : json(nullptr);
}

// Runs in the child, inside the new namespaces: builds the devices, then asks.
json build_and_ask(const std::string& trace_path) {
  const auto host = platform::make_live_host();
  json created = json::array();
  for (const auto& cmd : setup_commands()) {
    const RunResult r = host->run(kern::command_argv(cmd));
    if (r.status != 0) {
      return {{"error", "\"" + cmd + "\" exited with status " + std::to_string(r.status)}};
    }
    created.push_back(cmd);
  }
  const RunResult mdb = host->run(kern::command_argv("/sbin/bridge -d -s mdb show"));

  testing::FakeSwitch sw;
  sw.port("xe1", "swp1").port("xe2", "swp2").port("xe3", "swp3");
  Platform p = sw.platform();
  p.host = host;
  Asic asic(platform::with_trace(p, std::make_shared<platform::TraceLog>(trace_path)));

  json base = json::object();
  for (const char* dev : {"br0", "swp1", "vx1", "nosuch0"}) {
    const auto [kind, base_dev, vlan] = asic._kern_base_dev_kind_get(dev);
    base[dev] = {kind, base_dev, vlan};
  }
  return {
      {"created", created},
      {"mdb_listing", mdb.out},
      {"base", base},
      {"vlan_filtering", asic._kern_dev_vlan_filtering_get("br0")},
      {"members_br0", asic._kern_get_br_members("br0")},
      {"members_bridge", asic._kern_get_br_members("bridge")},
      {"grp1", entry_json(asic._kern_dev_get_mdb_entry("br0", -1, "01:00:5e:01:01:01"))},
      {"grp2", entry_json(asic._kern_dev_get_mdb_entry("br0", -1, "01:00:5e:02:02:02"))},
      {"grp3_br0", entry_json(asic._kern_dev_get_mdb_entry("br0", -1, "01:00:5e:03:03:03"))},
      {"grp1_vid10", entry_json(asic._kern_dev_get_mdb_entry("br0", 10, "01:00:5e:01:01:01"))},
      {"grp3_bridge", entry_json(asic._kern_dev_get_mdb_entry("bridge", -1, "01:00:5e:03:03:03"))},
  };
}

// Enters the namespaces; a reason to skip when they cannot be made.
std::optional<std::string> enter_namespaces() {
  const auto why = [](const char* what) { return std::string(what) + ": " + std::strerror(errno); };
  if (::unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) return why("cannot create namespaces");
  // Private first, so the sysfs mount below never reaches the host's mounts.
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return why("cannot make the mounts private");
  }
  if (::mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0) return why("cannot remount sysfs");
  return std::nullopt;
}

// Runs `body` in a forked child inside fresh namespaces and returns what it
// answered; {"skip": why} when the namespaces cannot be made.
json run_in_child(const std::function<json()>& body) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category(), "pipe");
  const pid_t pid = ::fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    ::close(fds[0]);
    json result;
    try {
      const auto skip = enter_namespaces();
      result = skip ? json{{"skip", *skip}} : body();
    } catch (const std::exception& e) {
      result = {{"error", e.what()}};
    }
    const std::string text = result.dump();
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t n = ::write(fds[1], text.data() + done, text.size() - done);
      if (n <= 0 && errno != EINTR) break;
      if (n > 0) done += static_cast<std::size_t>(n);
    }
    ::_exit(0);  // no destructors or exit handlers of the parent's test run
  }
  ::close(fds[1]);
  std::string text;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || text.empty()) {
    return {{"error", "the namespace child died (wait status " + std::to_string(status) + ")"}};
  }
  return json::parse(text);
}

TEST(KernRealKernel, BridgeMembersAndMulticastDatabase) {
  const testing::TempDir dir;
  const std::string trace_path = dir.path() + "/trace.jsonl";
  const json r = run_in_child([&] { return build_and_ask(trace_path); });
  if (r.contains("skip")) GTEST_SKIP() << r["skip"].get<std::string>();
  ASSERT_FALSE(r.contains("error")) << r["error"].get<std::string>();

  std::cout << "created in a private network namespace:\n";
  for (const auto& cmd : r["created"]) std::cout << "  " << cmd.get<std::string>() << "\n";
  std::cout << "its multicast database:\n" << r["mdb_listing"].get<std::string>();
  std::cout << "what the Asic ran and read there:\n" << testing::read_file(trace_path);

  using Base = std::vector<json>;
  EXPECT_EQ(r["base"]["br0"], json(Base{"bridge", "br0", -1}));
  EXPECT_EQ(r["base"]["swp1"], json(Base{"swp", "swp1", -1}));
  EXPECT_EQ(r["base"]["vx1"], json(Base{"veth", "vx1", -1}));
  EXPECT_EQ(r["base"]["nosuch0"], json(Base{"unk", "nosuch0", -1}));
  EXPECT_EQ(r["vlan_filtering"], 0);

  // The kernel's directory order is its own; compare as sets.
  auto members = r["members_br0"].get<std::vector<std::string>>();
  std::sort(members.begin(), members.end());
  EXPECT_EQ(members, (std::vector<std::string>{"swp1", "swp2", "vx1"}));
  EXPECT_EQ(r["members_bridge"], json({"swp3"}));

  // 239.1.1.1 (swp1) and 239.129.1.1 (vx1) share a MAC: the first listed
  // group's port, then the router port swp2 (vx1 routes too, but is no
  // front-panel port), then the other group's port.
  ASSERT_TRUE(r["grp1"].is_array()) << r["grp1"];
  auto grp1 = r["grp1"].get<std::vector<std::string>>();
  ASSERT_EQ(grp1.size(), 3u) << r["grp1"];
  EXPECT_EQ(grp1[1], "swp2");
  std::sort(grp1.begin(), grp1.end());
  EXPECT_EQ(grp1, (std::vector<std::string>{"swp1", "swp2", "vx1"}));
  EXPECT_EQ(r["grp2"], json({"swp2"}));  // listener and router port at once
  EXPECT_TRUE(r["grp3_br0"].is_null());
  EXPECT_TRUE(r["grp1_vid10"].is_null());
  EXPECT_EQ(r["grp3_bridge"], json({"swp3"}));
}

// The kernel's timers tick between two reads of one device; nothing else in
// a block may differ.
std::string without_timers(const std::string& block) {
  static const std::regex timer(R"((_timer)\s+[0-9.]+)");
  return std::regex_replace(block, timer, "$1 T");
}

// Every device of a namespace with bridges, veths (ports with and without a
// master), a bond and a device made after the listing, asked through the
// batching host and by its own command.
json ask_every_link() {
  const auto live = platform::make_live_host();
  const std::vector<std::string> setup = {
      "/bin/ip link add name br0 type bridge",
      "/bin/ip link add name swp1 type veth peer name swp1p",
      "/bin/ip link set swp1 master br0",
      "/bin/ip link add name swp2 type veth peer name swp2p",
      "/bin/ip link add name bond0 type bond",
      "/bin/ip link set swp2p master bond0",
      "/bin/ip link set br0 up",
      "/bin/ip link set swp1 up",
  };
  for (const auto& cmd : setup) {
    const RunResult r = live->run(kern::command_argv(cmd));
    // A kernel without a module (bonding) leaves that device out.
    if (r.status != 0 && cmd.find("bond") == std::string::npos)
      return {{"error", cmd + " exited with status " + std::to_string(r.status)}};
  }
  const auto batched = platform::with_link_batch(live);
  const auto ask = [](Host& host, const std::string& dev) {
    const RunResult r = host.run({"/bin/ip", "-d", "link", "show", dev});
    return json{r.status, without_timers(r.out)};
  };
  json devices = json::object();
  const auto listed =
      platform::split_link_listing(live->run({"/bin/ip", "-d", "link", "show"}).out);
  if (!listed) return {{"error", "the listing of all links does not split into blocks"}};
  for (const auto& [dev, block] : *listed) {
    devices[dev] = {ask(*batched, dev), ask(*live, dev)};
  }
  // Made after the batch listing, and never made: both run for real.
  live->run(kern::command_argv("/bin/ip link add name late0 type bridge"));
  for (const char* dev : {"late0", "nosuch0"}) devices[dev] = {ask(*batched, dev), ask(*live, dev)};
  return {{"devices", devices}};
}

TEST(KernRealKernel, ABatchedLinkAnswersAsItsOwnCommand) {
  const json r = run_in_child(ask_every_link);
  if (r.contains("skip")) GTEST_SKIP() << r["skip"].get<std::string>();
  ASSERT_FALSE(r.contains("error")) << r["error"].get<std::string>();
  const json& devices = r["devices"];
  for (const char* dev : {"lo", "br0", "swp1", "swp1p", "swp2", "late0", "nosuch0"})
    EXPECT_TRUE(devices.contains(dev)) << dev;
  for (const auto& [dev, answers] : devices.items()) {
    EXPECT_EQ(answers[0], answers[1]) << dev;
  }
  EXPECT_NE(devices["nosuch0"][0][0], 0);
}

}  // namespace
}  // namespace grpaudit

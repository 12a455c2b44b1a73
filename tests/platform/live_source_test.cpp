// The live switch's SDK transport, port table and VRF map files.

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "grpaudit/platform/config_files.h"
#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/sdk_transport.h"
#include "support/test_support.h"

namespace grpaudit::platform {
namespace {

using namespace std::chrono_literals;

TEST(SdkTransport, AppendsTheCommandAsOneArgumentAndReturnsStandardOutput) {
  testing::TempDir tmp;
  const std::string script = tmp.write("sdk.sh", "printf '%s|%s\\n' \"$1\" \"$#\"\n");
  auto shell = make_sdk_transport("/bin/sh " + script, 5s);
  EXPECT_EQ(shell->run("vlan show 100"), "vlan show 100|1\n");
}

TEST(SdkTransport, AnUnansweredCommandKillsTheTransportGroupAndTimesOut) {
  testing::TempDir tmp;
  // The transport leaves a grandchild that would hold the output open; it
  // tells its process id through a file, as its output is never read whole.
  const std::string script =
      tmp.write("slow.sh", "sleep 30 & echo $! > " + tmp.path() + "/grandchild\nsleep 30\n");
  auto shell = make_sdk_transport("/bin/sh " + script, 200ms);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(shell->run("ipmc table show"), ShellIoError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  const pid_t grandchild = std::stoi(testing::read_file(tmp.path() + "/grandchild"));
  EXPECT_TRUE(testing::gone_or_zombie(grandchild)) << "grandchild " << grandchild << " still runs";
  int st;
  errno = 0;
  EXPECT_EQ(::waitpid(-1, &st, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(SdkTransport, ASilentFailureIsAnErrorButPrintedErrorsAreOutput) {
  auto silent = make_sdk_transport("/bin/false", 5s);
  EXPECT_THROW(silent->run("show unit"), std::runtime_error);
  testing::TempDir tmp;
  const std::string script = tmp.write("err.sh", "echo 'Error: bad command'; exit 1\n");
  auto noisy = make_sdk_transport("/bin/sh " + script, 5s);
  EXPECT_EQ(noisy->run("show portmap"), "Error: bad command\n");
  EXPECT_THROW(make_sdk_transport("  ", 5s), std::invalid_argument);
  EXPECT_THROW(make_sdk_transport("/nonexistent/transport", 5s)->run("x"), std::system_error);
}

TEST(SdkTransport, TheTestHookShortensTheTimeOut) {
  ::unsetenv(kSdkTimeoutTestHook);
  EXPECT_EQ(sdk_timeout(180), 180s);
  ::setenv(kSdkTimeoutTestHook, "250", 1);
  EXPECT_EQ(sdk_timeout(180), 250ms);
  ::unsetenv(kSdkTimeoutTestHook);
}

TEST(SdkTransport, MemoryTableReadsDecodeTheDumpLines) {
  testing::TempDir tmp;
  const std::string script =
      tmp.write("dump.sh", "echo \"$1\" > " + tmp.path() +
                               "/asked\n"
                               "echo 'VLAN.ipipe0[100]: <L3_IIF=0x1004,VALID=1,STG=2>'\n"
                               "echo 'VLAN.ipipe0[101]: <L3_IIF=7,VALID=0>'\n");
  auto shell = make_sdk_transport("/bin/sh " + script, 5s);
  const auto rows = shell->gettable("VLAN", true, 100, 2);
  EXPECT_EQ(testing::read_file(tmp.path() + "/asked"), "dump VLAN 100 2\n");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at("L3_IIF"), 0x1004);
  EXPECT_EQ(rows[0].at("STG"), 2);
  EXPECT_EQ(rows[1].at("L3_IIF"), 7);
  EXPECT_TRUE(parse_memory_dump("nothing here\n").empty());
  EXPECT_THROW(parse_memory_dump("T[1]: <A=zz>"), std::invalid_argument);
}

TEST(ConfigFiles, PortTableKeepsFileOrderAndNamesUnknownPorts) {
  const auto pt = parse_port_table("# sdk linux\nxe0 swp1\n\n  xe1\tswp2  # uplink\n", "pt");
  EXPECT_EQ(pt->get_linux_ports(), (std::vector<std::string>{"swp1", "swp2"}));
  EXPECT_EQ(pt->bcm2linux("xe1"), "swp2");
  EXPECT_THROW(pt->bcm2linux("xe9"), std::out_of_range);
  try {
    parse_port_table("xe0 swp1\nxe1\n", "ports.conf");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "port table ports.conf line 2: expected \"<sdk port> <linux port>\"");
  }
}

TEST(ConfigFiles, VrfMapDefaultsIdZeroAndRejectsBadLines) {
  EXPECT_EQ(load_vrf_map("")->vrf_id2name(0), "default");
  // An id the map does not name says where to name it.
  try {
    load_vrf_map("")->vrf_id2name(2);
    ADD_FAILURE();
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "unknown VRF id 2 (give its name in the VRF map, --vrf-map FILE)");
  }
  const auto db = parse_vrf_map("2 blue\n0 main-vrf\n", "vrfs");
  EXPECT_EQ(db->vrf_id2name(2), "blue");
  EXPECT_EQ(db->vrf_id2name(0), "main-vrf");
  EXPECT_THROW(parse_vrf_map("two blue\n", "vrfs"), std::runtime_error);
  EXPECT_THROW(load_port_table("/nonexistent/ports.conf"), std::system_error);
}

}  // namespace
}  // namespace grpaudit::platform

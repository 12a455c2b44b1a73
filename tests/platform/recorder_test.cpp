#include "grpaudit/platform/recorder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "grpaudit/platform/errors.h"
#include "support/fake_switch.h"
#include "support/test_support.h"

namespace grpaudit::platform {
namespace {

// Drives every kind of interaction once through `p`.
void exercise(const Platform& p) {
  auto shell = p.sdk_shell(180);
  shell->run("show unit");
  EXPECT_THROW(shell->run("never answered"), ShellIoError);
  shell->gettable("VLAN", true, 100, 3);
  auto pt = p.port_table();
  pt->get_linux_ports();
  pt->bcm2linux("xe0");
  EXPECT_THROW(pt->bcm2linux("xe9"), std::out_of_range);
  p.vrf_db()->vrf_id2name(0);
  p.host->run({"/bin/ip", "-d", "link", "show", "br0"});
  EXPECT_THROW(p.host->run({"/usr/bin/absent"}), std::system_error);
  p.host->is_regular_file("/sys/class/net/br0/bridge/vlan_filtering");
  p.host->is_directory("/sys/class/net/bond0/bonding/");
  p.host->list_dir("/sys/class/net/br0/brif");
  EXPECT_THROW(p.host->read_file("/proc/absent"), std::system_error);
}

TEST(Recorder, ItsSnapshotAnswersEveryRecordedQuestionAsTheSourceDid) {
  testing::FakeSwitch source;
  source.port("xe0", "swp1")
      .sdk("show unit", "Unit 0 chip BCM56873\n")
      .host_cmd("/bin/ip -d link show br0", 0, "1: br0\n")
      .file("/sys/class/net/br0/bridge/vlan_filtering", "1\n")
      .dir("/sys/class/net/bond0/bonding", {"slaves"})
      .dir("/sys/class/net/br0/brif", {"swp1", "swp2"});
  source.snapshot().sdk_tables["VLAN"]["100"] = {{"L3_IIF", 7}};
  source.snapshot().sdk_tables["VLAN"]["101"] = {{"L3_IIF", 8}};

  Recorder rec("recorded");
  exercise(rec.wrap(source.platform()));
  const Snapshot& snap = rec.snapshot();

  EXPECT_EQ(snap.description, "recorded");
  EXPECT_EQ(snap.sdk_commands,
            (std::map<std::string, std::string>{{"show unit", "Unit 0 chip BCM56873\n"}}));
  EXPECT_EQ(snap.sdk_tables.at("VLAN").size(), 2u);
  EXPECT_EQ(snap.linux_ports, (std::vector<std::string>{"swp1"}));
  EXPECT_EQ(snap.sdk_to_linux, (std::map<std::string, std::string>{{"xe0", "swp1"}}));
  EXPECT_EQ(snap.vrfs.at("0"), "default");
  EXPECT_EQ(snap.host_commands.size(), 1u);
  EXPECT_EQ(snap.host_files.at("/sys/class/net/br0/bridge/vlan_filtering"), "1\n");
  EXPECT_EQ(snap.host_dirs.at("/sys/class/net/br0/brif"),
            (std::vector<std::string>{"swp1", "swp2"}));
  EXPECT_TRUE(snap.host_dirs.count("/sys/class/net/bond0/bonding/"));

  // Replaying the recording goes through the same interactions unchanged.
  exercise(make_replay_platform(std::make_shared<const Snapshot>(snap)));
}

TEST(Recorder, SaveReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  testing::TempDir tmp;
  const std::string path = tmp.write("snap.json", "old contents");
  Snapshot snap;
  snap.description = "d";
  snap.sdk_commands["show unit"] = "x\n";
  save_snapshot(snap, path);
  EXPECT_EQ(load_snapshot(path), snap);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(tmp.path())) ++files;
  EXPECT_EQ(files, 1u);
  EXPECT_THROW(save_snapshot(snap, tmp.path() + "/no/such/dir/snap.json"), std::system_error);
}

}  // namespace
}  // namespace grpaudit::platform

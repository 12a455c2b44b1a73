#include "grpaudit/records/kern_records.h"

#include <gtest/gtest.h>

namespace grpaudit {
namespace {

TEST(KernRecords, TextForms) {
  EXPECT_EQ(KernDevEntry("br0", "bridge", 1).str(), "br0: kind: bridge vlan_filtering: 1\n");
  EXPECT_EQ(KernVlanDevEntry("my111", 111, "br0").str(), "dev: my111 vid: 111 atlink: br0");

  KernVlanEntry v(100);
  EXPECT_EQ(v.str(), "vid: 100\n  tagged: \n  untagged: \n");
  v.add_port("swp1", false);
  v.add_port("swp2", true);
  v.add_port("swp3", false);
  EXPECT_EQ(v.str(), "vid: 100\n  tagged: swp1,swp3\n  untagged: swp2\n");

  KernMdbEntry plain(-1, "01:00:5e:01:01:01");
  plain.add_port("swp1");
  plain.add_port("swp2");
  EXPECT_EQ(plain.str(), "  grp: 01:00:5e:01:01:01\n    port: swp1\n    port: swp2\n");
  EXPECT_EQ(KernMdbEntry(10, "01:00:5e:00:00:fb").str(), "  vid: 10 grp: 01:00:5e:00:00:fb\n");
}

TEST(KernRecords, OnlyTheMdbEntryRefusesDuplicatePorts) {
  KernMdbEntry e(10, "g");
  e.add_port("swp1");
  e.add_port("swp2");
  e.add_port("swp1");
  EXPECT_EQ(e.swp, (std::vector<std::string>{"swp1", "swp2"}));

  KernMdbRportEntry r(10);
  r.add_port("swp1");
  r.add_port("swp1");
  EXPECT_EQ(r.swp, (std::vector<std::string>{"swp1", "swp1"}));

  KernVlanEntry v(10);
  v.add_port("swp1", true);
  v.add_port("swp1", true);
  EXPECT_EQ(v.untagged_swp, (std::vector<std::string>{"swp1", "swp1"}));
}

TEST(KernRecords, EachMdbSnapshotOwnsItsEntries) {
  KernMdbCache a("br0", 1);
  KernMdbCache b("br1", 0);
  a.mdb_entries.emplace("10.g", KernMdbEntry(10, "g"));
  EXPECT_TRUE(b.mdb_entries.empty());
  EXPECT_EQ(b.str(), "dev: br1:\n");
  EXPECT_EQ(a.str(), "dev: br0:\n  vid: 10 grp: g\n");
}

TEST(KernRecords, MdbEntriesPrintInTheOrderTheyWereAdded) {
  KernMdbCache c("br0", 1);
  const KernMdbEntry* first = &c.mdb_entries.try_emplace("20.g", 20, "g").first->second;
  for (int vid = 100; vid < 140; ++vid)
    c.mdb_entries.emplace(std::to_string(vid) + ".g", KernMdbEntry(vid, "g"));
  EXPECT_FALSE(c.mdb_entries.try_emplace("20.g", 99, "x").second);
  EXPECT_EQ(&c.mdb_entries.at("20.g"), first);  // neither replaced nor moved
  const KernMdbCache copy = c;
  EXPECT_TRUE(copy.str().starts_with("dev: br0:\n  vid: 20 grp: g\n  vid: 100 grp: g\n"))
      << copy.str();
}

}  // namespace
}  // namespace grpaudit

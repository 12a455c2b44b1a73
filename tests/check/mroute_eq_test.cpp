// Comparing kernel multicast routes with the ASIC's, on a small switch in
// RIOT mode: a VLAN-aware bridge br0 with SVIs vlan100 and vlan200 (swp1 and
// swp2 access ports of 100, swp3 a trunk of 100 and 200, bond0 = swp5+swp6
// an access port of 200), a routed port swp4 with sub-interfaces, and a
// routed bond bond1 = swp7+swp8 with a sub-interface.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <tuple>

#include "grpaudit/check/audit_index.h"
#include "support/kern_fixtures.h"

namespace grpaudit {
namespace {

using ::testing::ElementsAre;
using testing::FakeSwitch;
using ::testing::IsEmpty;
using testing::read_line;
using testing::run_line;
using testing::TracedAsic;
using Ids = std::set<std::string>;
using Names = std::vector<std::string>;

constexpr const char* kR1 = "default, (10.1.1.1,239.1.1.1)";  // vlan100 -> vlan200, swp4.300
constexpr const char* kR2 = "default, (10.4.4.4,239.1.1.1)";  // swp4.300 -> vlan100
constexpr const char* kR3 = "default, (10.7.7.7,239.3.3.3)";  // bond1 -> swp4, bond1.50
constexpr const char* kR6 = "default, (10.6.6.6,239.6.6.6)";  // no MDB entry, no group

const Names kR1Oil{"vlan100", "vlan200", "swp4.300"};
const Names kR3Oil{"swp4", "bond1.50"};
const Ids kR1L3{"swp3.200", "swp4.300", "swp5", "swp6"};

constexpr const char* kIifMsg = "kernel IIF does not match hw IIF";
constexpr const char* kHwL3 = "hw has OIFs not in the kernel";
constexpr const char* kKernL3 = "kernel has OIFs not in the hw";
constexpr const char* kHwL2 = "hw has L2-OIFs not in the kernel";
constexpr const char* kKernL2 = "kernel has L2-OIFs not in the hw";

FakeSwitch campus_switch() {
  FakeSwitch sw;
  std::vector<std::string> portmap_rows;
  std::string pvlan;
  for (int i = 1; i <= 8; ++i) {
    const std::string n = std::to_string(i);
    sw.port("xe" + n, "swp" + n);
    portmap_rows.push_back("xe" + n + " 0 " + n + " " + n);
    pvlan += "Port xe" + n + " default VLAN is 100" + n + "\n";
  }
  sw.sdk("show portmap", testing::portmap_listing(portmap_rows)).sdk("pvlan show", pvlan);
  sw.sdk("l3 intf show", testing::l3_intf_listing({"0 4 0 0 1004", "0 5 0 0 100", "0 7 0 0 200",
                                                   "0 9 0 0 3000", "0 11 0 0 3050"}));
  sw.sdk("vlan translate show",
         "port=4, new_vid=3000, old_vid=300\n"
         "port=7, new_vid=3050, old_vid=50\n"
         "port=8, new_vid=3050, old_vid=50\n");
  sw.sdk("sc L3IngressMode", "0x1\n").sdk("listmem VLAN", "    L3_IIF<12:0>\n");
  for (const auto& [vlan, iif] : std::map<int, std::int64_t>{
           {100, 4100}, {200, 4200}, {3000, 4300}, {1004, 5004}, {1007, 5007}, {1008, 5008}}) {
    sw.table_entry("VLAN", vlan, {{"L3_IIF", iif}});
  }
  const std::string hdr = "        ena/ speed/\n   port link duplex\n";
  sw.sdk("vlan show 100", "vlan 100\tports xe1-xe3 (0xe), untagged xe1-xe2 (0x6)\n");
  sw.sdk("ports xe1-xe2", hdr + "  xe1(  1) up\n  xe2(  2) up\n");
  sw.sdk("vlan show 200", "vlan 200\tports xe3,xe5-xe6 (0x68), untagged xe5-xe6 (0x60)\n");
  sw.sdk("ports xe5-xe6", hdr + "  xe5(  5) up\n  xe6(  6) up\n");
  sw.sdk("vlan show 1004", "vlan 1004\tports xe4 (0x10), untagged xe4 (0x10)\n");
  sw.sdk("ports xe4", hdr + "  xe4(  4) up\n");
  sw.sdk("multicast show",
         "Group 0x2000001 (IPMC)\n"
         "\tport xe3, encap id 7\n\tport xe5, encap id 7\n\tport xe6, encap id 7\n"
         "\tport xe4, encap id 9\n\tport xe1, encap id -1\n"
         "Group 0x2000002 (IPMC)\n\tport xe1, encap id 5\n"
         "Group 0x2000003 (IPMC)\n"
         "\tport xe4, encap id 4\n\tport xe7, encap id 11\n\tport xe8, encap id 11\n");
  sw.sdk("ipmc table show",
         testing::ipmc_listing({"10.1.1.1 239.1.1.1 1 4100 0", "10.4.4.4 239.1.1.1 2 4300 0",
                                "10.7.7.7 239.3.3.3 3 5007 0", "10.6.6.6 239.6.6.6 6 4100 0"}));

  testing::bridge(sw, "br0", 1, {"swp1", "swp2", "swp3", "bond0"});
  testing::bond(sw, "bond0", "swp5 swp6");
  testing::bond(sw, "bond1", "swp7 swp8");
  for (const char* v : {"vlan100", "vlan200", "swp4.300", "swp4.400", "bond1.50"}) {
    testing::link(sw, v, "vlan");
  }
  testing::vlan_config(sw, {{"vlan100", 100, "br0"},
                            {"vlan200", 200, "br0"},
                            {"swp4.300", 300, "swp4"},
                            {"swp4.400", 400, "swp4"},
                            {"bond1.50", 50, "bond1"}});
  testing::link(sw, "ipmr-lo", "dummy");
  testing::link(sw, "vx0", "vxlan");
  sw.host_cmd("/bin/ip -d link show ghost", 1, "");
  sw.host_cmd("/bin/ip -d link show broken", 0, "9: broken: <UP>\n    link/ether\n\n");
  sw.host_cmd("/sbin/bridge -d -s mdb show dev br0", 0,
              "dev br0 port swp1 grp 239.1.1.1 temp vid 100\n"
              "dev br0 port swp3 grp 239.1.1.1 temp vid 200\n"
              "dev br0 port bond0 grp 239.1.1.1 temp vid 200\n");
  sw.host_cmd("/sbin/bridge -j vlan show", 0, R"([
    {"ifname": "br0", "vlans": [{"vlan": 100}, {"vlan": 200}]},
    {"ifname": "swp1", "vlans": [{"vlan": 100, "flags": ["PVID", "Egress Untagged"]}]},
    {"ifname": "swp2", "vlans": [{"vlan": 100, "flags": ["PVID", "Egress Untagged"]}]},
    {"ifname": "swp3", "vlans": [{"vlan": 100}, {"vlan": 200}]},
    {"ifname": "bond0", "vlans": [{"vlan": 200, "flags": ["PVID", "Egress Untagged"]}]}
  ])");
  return sw;
}

// Records its calls and answers with preset verdicts.
struct RecordingChecker : MrouteChecker {
  bool orig = false, term = false;
  std::vector<std::string> calls;
  const Asic* asic_seen = nullptr;

  static std::string text(const std::optional<std::string>& s) { return s ? *s : "<none>"; }
  bool check_orig_mroute(Asic& asic, const std::optional<std::string>& src,
                         const std::optional<std::string>& grp) override {
    asic_seen = &asic;
    calls.push_back("orig " + text(src) + " " + text(grp));
    return orig;
  }
  bool check_term_mroute(const std::optional<std::string>& src,
                         const std::optional<std::string>& grp) override {
    calls.push_back("term " + text(src) + " " + text(grp));
    return term;
  }
};

class MrouteEq : public ::testing::Test {
 protected:
  Asic::MrouteComparison compare(const std::string& key, const std::string& iif, const Names& oil) {
    return asic->compare_mroute(key, iif, oil, checker);
  }
  Names messages(const std::string& key) {
    const Hmroute& r = asic->mroutes.at(key);
    Names all = r.iif_mismatch;
    all.insert(all.end(), r.oil_mismatch.begin(), r.oil_mismatch.end());
    return all;
  }

  TracedAsic asic{campus_switch()};
  RecordingChecker checker;
};

TEST_F(MrouteEq, AConsistentSwitchRecordsNothing) {
  const struct {
    std::string key, iif;
    Names oil;
    std::int64_t iif_l3;
    Ids l3, l2;
  } cases[] = {
      // SVI to SVI and a port sub-interface: access ports bare, the trunk
      // suffixed; the IIF in the OIL adds nothing.
      {kR1, "vlan100", kR1Oil, 4100, kR1L3, {"swp1"}},
      // ipmr-lo in the OIL of a route with a source is compared like any OIF.
      {kR1, "vlan100", {"vlan200", "ipmr-lo", "swp4.300"}, 4100, kR1L3, {"swp1"}},
      // From a translated sub-interface to an access port.
      {kR2, "swp4.300", {"vlan100"}, 4300, {"swp1"}, {}},
      // From a routed bond (its smallest link's port VID) to a port and a
      // bond sub-interface.
      {kR3, "bond1", kR3Oil, 5007, {"swp4", "swp7.50", "swp8.50"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + " from " + c.iif);
    for (int round = 0; round < 2; ++round) {
      const auto cmp = compare(c.key, c.iif, c.oil);
      EXPECT_EQ(cmp.outcome, Asic::MrouteOutcome::kCompared);
      EXPECT_TRUE(cmp.equal);
      ASSERT_TRUE(cmp.expected.has_value());
      EXPECT_EQ(cmp.expected->iif, c.iif_l3);
      EXPECT_EQ(cmp.expected->l3, c.l3);
      EXPECT_EQ(cmp.expected->l2, c.l2);
      EXPECT_TRUE(asic->mroute_eq(c.key, c.iif, c.oil, checker));
    }
    EXPECT_THAT(messages(c.key), IsEmpty());
  }
  EXPECT_THAT(checker.calls, IsEmpty());
}

TEST_F(MrouteEq, AHardwareCopyTaggedWhereTheKernelSendsUntagged) {
  // Also a bridged copy, which a route arriving on a port never has.
  asic->replication_groups.at(0x2000002) = ReplicationGroup(
      0x2000002, {Encap("swp2", "xe2", -1, -1, -1)}, {Encap("swp1", "xe1", 5, 100, 100)});
  EXPECT_FALSE(asic->mroute_eq(kR2, "swp4.300", {"vlan100"}, checker));
  EXPECT_THAT(messages(kR2), ElementsAre(kHwL3, kKernL3, kHwL2));
  // Messages are never cleared: a second call appends them again.
  EXPECT_FALSE(asic->mroute_eq(kR2, "swp4.300", {"vlan100"}, checker));
  EXPECT_EQ(messages(kR2).size(), 6u);
}

TEST_F(MrouteEq, AComparisonWithAnAuditsIndexAnswersAsOneWithout) {
  const auto outcome = [&](const check::AuditIndex* index) {
    const auto cmp =
        asic->compare_mroute(kR1, "vlan100", kR1Oil, checker, &asic->mroutes.at(kR1), index);
    return std::make_tuple(cmp.equal, cmp.expected->l3, cmp.expected->l2, messages(kR1));
  };
  const auto plain = outcome(nullptr);
  {
    const check::AuditIndex index(asic->replication_groups);
    EXPECT_EQ(outcome(&index), plain);
    EXPECT_EQ(outcome(&index), plain);  // answered again from what it kept
  }
  // Without an index the map is asked again: a group replaced now is seen.
  const std::int64_t grp = asic->mroutes.at(kR1).grp;
  asic->replication_groups.at(grp) = ReplicationGroup(grp, {}, {});
  const auto cmp = compare(kR1, "vlan100", kR1Oil);
  EXPECT_FALSE(cmp.equal);
}

TEST_F(MrouteEq, AGroupIndexFindsEveryGroupOfAManyAsTheMapDoes) {
  // Runs of consecutive IDs, IDs far apart and negative ones, many enough
  // that their slots collide; the map is the referee.
  std::vector<std::int64_t> ids;
  for (std::int64_t i = 0; i < 1500; ++i) ids.push_back(0x2000000 + i);
  for (std::int64_t i = 0; i < 500; ++i) ids.push_back((i << 32) - 7 * i);
  for (std::int64_t i = 1; i < 200; ++i) ids.push_back(-i * 4096);
  for (const std::int64_t id : ids)
    asic->replication_groups.try_emplace(id, id, std::vector<Encap>{}, std::vector<Encap>{});
  const check::AuditIndex index(asic->replication_groups);
  for (const auto& [id, group] : asic->replication_groups) {
    EXPECT_EQ(index.find(id), &group) << id;
  }
  for (const std::int64_t absent :
       {std::int64_t{1}, std::int64_t{0x2000000 + 1500}, std::int64_t{-1}, std::int64_t{1} << 62}) {
    EXPECT_EQ(index.find(absent), nullptr) << absent;
  }
}

TEST_F(MrouteEq, AGroupsIdentitiesAreTheUniqueOnesOfItsCopiesInternedOnce) {
  // Copies repeated, tagged and not, names that sort differently from their
  // ports' order, long names and empty lists; absent groups have none.
  const auto copy = [](const std::string& port, std::int64_t evid) {
    return Encap(port, "xe0", -1, -1, evid);
  };
  const std::string long_port = "swp" + std::string(300, '7');
  for (std::int64_t i = 0; i < 300; ++i) {
    std::vector<Encap> l2, l3;
    for (std::int64_t j = 0; j < i % 30; ++j) {
      l3.push_back(copy("swp" + std::to_string((i * 7 + j * 13) % 40), (j % 3 == 0) ? -1 : j % 5));
      if (j % 4 == 0) l2.push_back(copy(j % 8 == 0 ? long_port : "bond" + std::to_string(j), j));
    }
    if (i % 10 == 0) l3.push_back(l3.empty() ? copy("swp1", -1) : l3.front());
    asic->replication_groups.insert_or_assign(0x3000000 + i,
                                              ReplicationGroup(0x3000000 + i, l2, l3));
  }
  const check::AuditIndex index(asic->replication_groups);
  const auto texts = [&](const check::AuditIndex::Ids& ids) {
    std::vector<std::string> out;
    for (const std::uint32_t id : ids) out.push_back(index.text(id));
    std::sort(out.begin(), out.end());
    return out;
  };
  std::vector<std::string> l3, l2;
  // Asked in an order of its own, twice: the second answer is the kept one.
  for (int pass = 0; pass < 2; ++pass) {
    for (auto it = asic->replication_groups.rbegin(); it != asic->replication_groups.rend(); ++it) {
      const auto& [id, group] = *it;
      sorted_identities(group.l3_encaps, l3);
      sorted_identities(group.l2_encaps, l2);
      const auto* ids = index.group_ids(id);
      ASSERT_NE(ids, nullptr) << id;
      EXPECT_TRUE(std::is_sorted(ids->l3.begin(), ids->l3.end()));
      EXPECT_EQ(texts(ids->l3), l3) << id;
      EXPECT_EQ(texts(ids->l2), l2) << id;
      EXPECT_EQ(std::set<std::string>(l3.begin(), l3.end()), group.get_l3_linux_encaps());
    }
  }
  EXPECT_EQ(index.group_ids(0x3000000 + 300), nullptr);
  EXPECT_EQ(index.group_ids(-1), nullptr);
  // One number per text, whichever group it came from.
  EXPECT_EQ(index.intern("swp1"), index.intern(std::string("swp") + "1"));
  EXPECT_EQ(index.text(index.intern(long_port)), long_port);
}

TEST_F(MrouteEq, OriginatedAndTerminatedRoutesGoToTheChecker) {
  using enum Asic::MrouteOutcome;
  const std::string from_host = "default, (10.0.0.1,239.1.1.1)";
  const std::string any_source = "default, (0.0.0.0,239.1.1.1)";
  const std::string absent = "default, (10.9.9.9,239.1.1.1)";
  checker.term = true;  // and orig stays false: verdicts come back unchanged
  const struct {
    std::string key, iif;
    Names oil;
    Asic::MrouteOutcome outcome;
    bool equal;
    Names calls;
  } cases[] = {
      {from_host, "lo", {}, kOriginated, true, {}},
      {from_host, "lo", {"vlan100"}, kOriginated, false, {"orig 10.0.0.1 239.1.1.1"}},
      {"not a key", "lo", {"vlan100"}, kOriginated, false, {"orig <none> <none>"}},
      {any_source, "lo", {"ipmr-lo"}, kTerminated, true, {"term 0.0.0.0 239.1.1.1"}},
      {any_source,
       "vlan100",
       {"vlan200", "ipmr-lo"},
       kTerminated,
       true,
       {"term 0.0.0.0 239.1.1.1"}},
      // Neither rule applies and the hardware has no such route.
      {any_source, "lo", {"vlan100"}, kNotInHardware, true, {}},
      {"not a key", "vlan100", {"ipmr-lo"}, kNotInHardware, true, {}},
      {absent, "vlan100", {"vlan200"}, kNotInHardware, true, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + " from " + c.iif);
    checker.calls.clear();
    const auto cmp = compare(c.key, c.iif, c.oil);
    EXPECT_EQ(cmp.outcome, c.outcome);
    EXPECT_EQ(cmp.equal, c.equal);
    EXPECT_FALSE(cmp.expected.has_value());
    EXPECT_EQ(checker.calls, c.calls);
    EXPECT_EQ(asic->mroute_eq(c.key, c.iif, c.oil, checker), c.equal);
  }
  EXPECT_EQ(checker.asic_seen, &*asic);
  // None of them looked at the kernel or the switch, nor recorded anything.
  EXPECT_THAT(asic.take_trace(), IsEmpty());
  for (const auto& [key, route] : asic->mroutes) EXPECT_THAT(messages(key), IsEmpty());
}

TEST_F(MrouteEq, TheL2SetKeepsTheFirstMemberTakenForTheIif) {
  // IIF vlan100 floods 239.6.6.6 to swp3.100, swp1 and swp2; swp1, the
  // smallest, is taken out as the first member after the L2 set was made.
  auto cmp = compare(kR6, "vlan100", {"vlan100"});
  EXPECT_EQ(cmp.expected->l2, (Ids{"swp1", "swp2", "swp3"}));
  EXPECT_EQ(asic->tmp_encaps, (Ids{"swp2", "swp3.100"}));
  // For a bond the smallest link decides the IIF: swp7 (5007), not swp8 (5008).
  cmp = compare(kR3, "bond1", {"bond1"});
  EXPECT_EQ(cmp.expected->iif, 5007);
  EXPECT_EQ(asic->tmp_encaps, (Ids{"swp8"}));
  // After OIFs, the working set holds the last one's expansion.
  compare(kR3, "bond1", kR3Oil);
  EXPECT_EQ(asic->tmp_encaps, (Ids{"swp7.50", "swp8.50"}));
}

TEST_F(MrouteEq, FloodingDecidesWhatAMissingGroupAndAnMdbMissGive) {
  // 239.6.6.6 has no MDB entry and its route no replication group.
  auto cmp = compare(kR6, "vlan100", {"vlan200"});
  EXPECT_EQ(cmp.expected->iif, 4100);
  EXPECT_EQ(cmp.expected->l3, (Ids{"swp3.200", "swp5", "swp6"}));
  EXPECT_FALSE(cmp.equal);
  EXPECT_THAT(messages(kR6), ElementsAre(kKernL3, kKernL2));

  TracedAsic quiet{campus_switch()};
  quiet->flood_mdb_misses = false;
  cmp = quiet->compare_mroute(kR6, "vlan100", {"vlan200"}, checker);
  EXPECT_TRUE(cmp.equal);
  EXPECT_EQ(cmp.expected->iif, 4100);  // an SVI needs no member for its VLAN
  EXPECT_THAT(cmp.expected->l3, IsEmpty());
  EXPECT_THAT(cmp.expected->l2, IsEmpty());
}

TEST_F(MrouteEq, AnIifWithoutHardwareVlanIsAMismatch) {
  // swp4.400 has no translation; vx0 and ghost (which the kernel does not
  // know) expand to nothing, so there is no member to map.
  for (const char* iif : {"swp4.400", "vx0", "ghost"}) {
    SCOPED_TRACE(iif);
    TracedAsic fresh{campus_switch()};
    const auto cmp = fresh->compare_mroute(kR2, iif, {"vlan100"}, checker);
    EXPECT_EQ(cmp.expected->iif, std::nullopt);
    EXPECT_FALSE(cmp.equal);
    EXPECT_THAT(fresh->mroutes.at(kR2).iif_mismatch, ElementsAre(kIifMsg));
    EXPECT_THAT(fresh->mroutes.at(kR2).oil_mismatch, IsEmpty());
  }
}

TEST_F(MrouteEq, IifMessageFirstThenTheFourOilMessagesInOrder) {
  // The hardware receives on another IIF, routes to swp9 instead of swp5
  // and bridges to swp2 instead of swp1.
  asic->mroutes.at(kR1).iif = 4200;
  asic->replication_groups.at(0x2000001) =
      ReplicationGroup(0x2000001, {Encap("swp2", "xe2", -1, -1, -1)},
                       {Encap("swp3", "xe3", 7, 200, 200), Encap("swp9", "xe9", 7, 200, -1),
                        Encap("swp6", "xe6", 7, 200, -1), Encap("swp4", "xe4", 9, 3000, 300)});
  EXPECT_FALSE(asic->mroute_eq(kR1, "vlan100", kR1Oil, checker));
  const Hmroute& r = asic->mroutes.at(kR1);
  EXPECT_THAT(r.iif_mismatch, ElementsAre(kIifMsg));
  EXPECT_THAT(r.oil_mismatch, ElementsAre(kHwL3, kKernL3, kHwL2, kKernL2));
  std::ostringstream dump;
  asic->dump_mroutes({kR1}, dump);
  EXPECT_THAT(dump.str(), ::testing::StartsWith(std::string(kR1) + ", iif: 4200\n  errors:\n    " +
                                                kIifMsg + "\n    " + kHwL3 + "\n"));
}

TEST_F(MrouteEq, AnErrorInAnOifKeepsTheMessagesRecordedBefore) {
  EXPECT_THROW(asic->mroute_eq(kR2, "swp4.400", {"vlan100", "broken"}, checker), std::out_of_range);
  EXPECT_THAT(asic->mroutes.at(kR2).iif_mismatch, ElementsAre(kIifMsg));
  EXPECT_THAT(asic->mroutes.at(kR2).oil_mismatch, IsEmpty());
}

TEST_F(MrouteEq, OneComparisonTalksToTheSwitchInOrder) {
  EXPECT_TRUE(asic->mroute_eq(kR1, "vlan100", kR1Oil, checker));
  EXPECT_THAT(
      asic.take_trace(),
      ElementsAre(
          // The IIF's base device, the bridge's MDB (with the bond in
          // it), then the bridge VLAN table to name the member.
          run_line("/bin/ip -d link show vlan100"), read_line("/proc/net/vlan/config"),
          run_line("/bin/ip -d link show br0"),
          read_line("/sys/class/net/br0/bridge/vlan_filtering"),
          run_line("/sbin/bridge -d -s mdb show dev br0"), run_line("/bin/ip -d link show bond0"),
          read_line("/sys/class/net/bond0/bonding/slaves"), run_line("/sbin/bridge -j vlan show"),
          read_line("/sys/class/net/bond0/bonding/slaves"),
          // The RIOT mapping of VLAN 100.
          R"({"gettable":"VLAN","start":100,"entries":1})",
          // The OIFs other than the IIF; the replication group is in memory.
          run_line("/bin/ip -d link show vlan200"), run_line("/bin/ip -d link show swp4.300")));
  // A second comparison finds everything cached.
  EXPECT_TRUE(asic->mroute_eq(kR1, "vlan100", kR1Oil, checker));
  EXPECT_THAT(asic.take_trace(), IsEmpty());
}

}  // namespace
}  // namespace grpaudit

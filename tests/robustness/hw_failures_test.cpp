// Failure rows of the hardware table readers, through a replayed switch.
// Shell time-outs without a state to check are in asic_test.cpp; a VLAN
// question that times out (nothing stored, nothing remembered) and VLANs
// without an entry are in port_vlan_lookups_test.cpp.

#include <gtest/gtest.h>

#include "robustness/failure_matrix.h"

namespace grpaudit::testing {
namespace {

using K = Kind;

const std::string kL3Entry = "L3_ENTRY_IPV4_MULTICAST.ipipe0[8]: ";
const std::string kPortsHeader = "            ena/  speed/\n      port  link  duplex\n";

void routes_empty(Asic& a) {
  EXPECT_TRUE(a.mroutes.empty());
}

TEST(HardwareReaderFailures, EndInTheirDocumentedErrorAndState) {
  const FailureRow rows[] = {
      // --- route listing ----------------------------------------------------
      {"ipmc: output without any line",
       [](FakeSwitch& sw) { sw.sdk("ipmc table show", ""); },
       [](Asic& a) { a.mroutes.clear(), a._parse_ipmc_table(); },
       {K::kLookup, "ipmc table show printed no header line"},
       routes_empty,
       true},
      {"ipmc: header without VRF",
       [](FakeSwitch& sw) {
         sw.sdk("ipmc table show", "SRC IP ADDRESS MC IP ADDRESS GROUP VLAN\n--\n");
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_ipmc_table(); },
       {K::kLookup, R"(no column "VRF" in header "SRC IP ADDRESS MC IP ADDRESS GROUP VLAN")"},
       routes_empty,
       true},
      {"ipmc: row long enough for GROUP but without VRF",
       [](FakeSwitch& sw) {
         sw.sdk("ipmc table show", ipmc_listing({}) + "10.1.1.1 239.1.1.1 5 100\n");
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_ipmc_table(); },
       {K::kLookup, R"(no field 4 in row "10.1.1.1 239.1.1.1 5 100")"},
       nullptr,
       true},
      {"ipmc: VLAN not decimal",
       [](FakeSwitch& sw) {
         sw.sdk("ipmc table show", ipmc_listing({"10.1.1.1 239.1.1.1 5 x100 0"}));
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_ipmc_table(); },
       {K::kValue, R"(not a decimal integer: "x100")"},
       nullptr,
       true},
      {"ipmc: VRF not decimal",
       [](FakeSwitch& sw) {
         sw.sdk("ipmc table show", ipmc_listing({"10.1.1.1 239.1.1.1 5 100 zero"}));
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_ipmc_table(); },
       {K::kValue, R"(not a decimal integer: "zero")"},
       nullptr,
       true},
      {"ipmc: GROUP not hexadecimal",
       [](FakeSwitch& sw) {
         sw.sdk("ipmc table show", ipmc_listing({"10.1.1.1 239.1.1.1 1g 100 0"}));
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_ipmc_table(); },
       {K::kValue, R"(not a hexadecimal integer: "1g")"},
       nullptr,
       true},
      {"ipmc: the VRF database does not know the VRF",
       [](FakeSwitch& sw) {
         sw.sdk("ipmc table show", ipmc_listing({"10.1.1.1 239.1.1.1 5 100 7"}));
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_ipmc_table(); },
       {K::kLookup, "unknown VRF id 7"},
       nullptr,
       true},

      // --- L3 entry memory ----------------------------------------------------
      {"mem: valid entry without GROUP_IP_ADDR",
       [](FakeSwitch& sw) {
         sw.sdk("dump chg l3_entry_ipv4_multicast", kL3Entry + "<VALID_0=1,L3MC_INDEX=5>\n");
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_l3_entry_ipmc_table(); },
       {K::kLookup,
        "no GROUP_IP_ADDR in valid entry 8: \"" + kL3Entry + "<VALID_0=1,L3MC_INDEX=5>\""},
       routes_empty,
       true,
       true},
      {"mem: VALID_0 in hexadecimal",
       [](FakeSwitch& sw) {
         sw.sdk("dump chg l3_entry_ipv4_multicast",
                kL3Entry + "<VALID_0=0x1,GROUP_IP_ADDR=0xef010101>\n");
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_l3_entry_ipmc_table(); },
       {K::kValue, R"(not a decimal integer: "0x1")"},
       nullptr,
       true,
       true},
      {"mem: hexadecimal field with other characters",
       [](FakeSwitch& sw) {
         sw.sdk("dump chg l3_entry_ipv4_multicast",
                kL3Entry + "<VALID_1=1,GROUP_IP_ADDR=0xef01zz>\n");
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_l3_entry_ipmc_table(); },
       {K::kValue, R"(not a hexadecimal integer: "0xef01zz")"},
       nullptr,
       true,
       true},
      {"mem: address beyond 32 bits",
       [](FakeSwitch& sw) {
         sw.sdk("dump chg l3_entry_ipv4_multicast",
                kL3Entry + "<VALID_0=1,GROUP_IP_ADDR=0x1ef010101>\n");
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_l3_entry_ipmc_table(); },
       {K::kValue, R"(not a 32-bit address: "0x1ef010101")"},
       nullptr,
       true,
       true},
      {"mem: the VRF database does not know the VRF",
       [](FakeSwitch& sw) {
         sw.sdk("dump chg l3_entry_ipv4_multicast",
                kL3Entry + "<VALID_0=1,GROUP_IP_ADDR=0xef010101,VRF_ID=0x7>\n");
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_l3_entry_ipmc_table(); },
       {K::kLookup, "unknown VRF id 7"},
       nullptr,
       true,
       true},
      {"mem: lines without an index and fields are skipped",
       [](FakeSwitch& sw) {
         sw.sdk("dump chg l3_entry_ipv4_multicast",
                "Unit 0 dump\n\n" + kL3Entry + "<VALID_0=1,GROUP_IP_ADDR=0xef010101>\n[9]: <>\n");
       },
       [](Asic& a) { a.mroutes.clear(), a._parse_l3_entry_ipmc_table(); },
       {},
       [](Asic& a) {
         EXPECT_EQ(a.get_mroutes(), (std::set<std::string>{"default, (0.0.0.0,239.1.1.1)"}));
       },
       true,
       true},

      // --- replication groups ---------------------------------------------------
      {"groups: header line without a word",
       [](FakeSwitch& sw) { sw.sdk("multicast show", "Group \n\tport xe0, encap id -1\n"); },
       [](Asic& a) { a.replication_groups.clear(), a._parse_multicast_repln_groups(); },
       {K::kLookup, R"(no field 0 in row " ")"},
       nullptr,
       true},
      {"groups: id not hexadecimal",
       [](FakeSwitch& sw) { sw.sdk("multicast show", "Group s 1\n"); },
       [](Asic& a) { a.replication_groups.clear(), a._parse_multicast_repln_groups(); },
       {K::kValue, R"(not a hexadecimal integer: "s")"},
       nullptr,
       true},
      {"groups: the port table cannot name a member's port",
       [](FakeSwitch& sw) { sw.sdk("multicast show", "Group 1\n\tport xe9, encap id -1\n"); },
       [](Asic& a) { a.replication_groups.clear(), a._parse_multicast_repln_groups(); },
       {K::kLookup, "unknown SDK port xe9"},
       nullptr,
       true},
      {"groups: the VLAN question of a routed copy times out",
       [](FakeSwitch& sw) {
         sw.sdk("l3 intf show", l3_intf_listing({"0 5 0 0 100"}));
         sw.sdk("multicast show", "Group 1\n\tport xe0, encap id 5\n");
       },
       [](Asic& a) {
         a._parse_l3_intf();
         a.replication_groups.clear(), a._parse_multicast_repln_groups();
       },
       {K::kRuntime, "vlan show 100"},
       [](Asic& a) { EXPECT_FALSE(a.vlans_without_entry.contains(100)); },
       true},
      {"groups: members not of the form and members on cpu0 are skipped",
       [](FakeSwitch& sw) {
         sw.sdk("multicast show", "Group 1\nport xe0, encap id -1\n\tport cpu0, encap id -1\n");
       },
       [](Asic& a) { a.replication_groups.clear(), a._parse_multicast_repln_groups(); },
       {},
       [](Asic& a) {
         ASSERT_TRUE(a.replication_groups.contains(1));
         EXPECT_EQ(a.replication_groups.at(1).str(), "");
       },
       true},
      {"groups: lookup with a group id that is not hexadecimal",
       [](FakeSwitch&) {},
       [](Asic& a) { a.get_repl_group_entry("xyz", "1"); },
       {K::kValue, R"(not a hexadecimal integer: "xyz")"}},
      {"groups: lookup of a group not in the map is none",
       [](FakeSwitch&) {},
       [](Asic& a) { EXPECT_EQ(a.get_repl_group_entry("1f", "105"), std::nullopt); },
       {}},

      // --- L3 interfaces and egress -------------------------------------------
      {"l3 intf: fewer than two lines",
       [](FakeSwitch& sw) { sw.sdk("l3 intf show", "one line\n"); },
       [](Asic& a) { a.l3_intfs.clear(), a._parse_l3_intf(); },
       {K::kLookup, "l3 intf show printed no header line: \"one line\n\""},
       [](Asic& a) { EXPECT_TRUE(a.l3_intfs.empty()); },
       true},
      {"l3 intf: header without Intf",
       [](FakeSwitch& sw) { sw.sdk("l3 intf show", "x\nUnit VRF Group VLAN\n--\n"); },
       [](Asic& a) { a.l3_intfs.clear(), a._parse_l3_intf(); },
       {K::kLookup, R"(no column "Intf" in header "Unit VRF Group VLAN")"},
       nullptr,
       true},
      {"l3 intf: row with as many words as the VLAN position",
       [](FakeSwitch& sw) {
         sw.sdk("l3 intf show", l3_intf_listing({"0 6 0 0 200", "0 5 0 0"}));
       },
       [](Asic& a) { a.l3_intfs.clear(), a._parse_l3_intf(); },
       {K::kLookup, R"(no field 4 in row "0 5 0 0")"},
       [](Asic& a) {
         EXPECT_EQ(a.l3_intfs, (std::map<std::int64_t, std::int64_t>{{6, 200}}));
       },
       true},
      {"l3 intf: id not decimal",
       [](FakeSwitch& sw) { sw.sdk("l3 intf show", l3_intf_listing({"0 x5 0 0 100"})); },
       [](Asic& a) { a.l3_intfs.clear(), a._parse_l3_intf(); },
       {K::kValue, R"(not a decimal integer: "x5")"},
       nullptr,
       true},
      {"next hops: word 5 not decimal, the debug output is still switched back",
       [](FakeSwitch& sw) {
         sw.sdk("sc L3IngressMode", "1\n").sdk("listmem VLAN", "L3_IIF<12:0>\n");
         sw.host_cmd("cat /quorvex/hwprogd/debug/mroute/info", 0, "intf 7 vlan 100 nhi 10x3 x\n");
       },
       [](Asic& a) { a.l3_intf_nhi.clear(), a._parse_l3_intf_nhi(); },
       {K::kValue, R"(not a decimal integer: "10x3")"},
       [](Asic& a) {
         EXPECT_FALSE(a.qv_mroute_hwprogd_debug_enabled);
         EXPECT_TRUE(a.l3_intf_nhi.empty());
       },
       true},
      {"egress: a short row before the match",
       [](FakeSwitch& sw) { sw.sdk("l3 egress show", "h1\nh2\nh3\n1 2 3\n"); },
       [](Asic& a) { a.get_l3_egress("100002"); },
       {K::kLookup, R"(no field 10 in row "1 2 3")"}},
      {"egress: a blank row before the match",
       [](FakeSwitch& sw) { sw.sdk("l3 egress show", "h1\nh2\nh3\n\n"); },
       [](Asic& a) { a.get_l3_egress("100002"); },
       {K::kLookup, R"(no field 0 in row "")"}},

      // --- port map and port VLANs ---------------------------------------------
      {"show unit times out",
       [](FakeSwitch& sw) { sw.no_sdk("show unit"); },
       [](Asic& a) { a._is_1G_chip(); },
       {K::kRuntime, "show unit timed out"}},
      {"show portmap times out",
       [](FakeSwitch& sw) { sw.no_sdk("show portmap"); },
       [](Asic& a) { a.portmap.clear(), a._parse_portmap(); },
       {K::kRuntime, "show portmap timed out"},
       [](Asic& a) { EXPECT_TRUE(a.portmap.empty()); },
       true},
      {"show portmap prints only a header",
       [](FakeSwitch& sw) { sw.sdk("show portmap", portmap_listing({})); },
       [](Asic& a) { a.portmap.clear(), a._parse_portmap(); },
       {K::kRuntime, "show portmap is not supported on this chip"},
       [](Asic& a) { EXPECT_TRUE(a.portmap.empty()); },
       true},
      {"show portmap says Error",
       [](FakeSwitch& sw) { sw.sdk("show portmap", "Error: unknown command\nxe0 0 1 1\n"); },
       [](Asic& a) { a.portmap.clear(), a._parse_portmap(); },
       {K::kRuntime, "show portmap is not supported on this chip"},
       [](Asic& a) { EXPECT_TRUE(a.portmap.empty()); },
       true},
      {"show portmap header without logical",
       [](FakeSwitch& sw) { sw.sdk("show portmap", "pipe logical_port physical\nxe0 0 1 1\n"); },
       [](Asic& a) { a.portmap.clear(), a._parse_portmap(); },
       {K::kRuntime, "show portmap format unexpected"},
       [](Asic& a) { EXPECT_TRUE(a.portmap.empty()); },
       true},
      {"show portmap short row keeps the rows before it",
       [](FakeSwitch& sw) {
         sw.sdk("show portmap", portmap_listing({"xe0 0 1 1", "xe1 0"}));
       },
       [](Asic& a) { a.portmap.clear(), a._parse_portmap(); },
       {K::kLookup, R"(no field 2 in row "xe1 0")"},
       [](Asic& a) { EXPECT_EQ(a.portmap.size(), 1u); },
       true},
      {"show portmap logical port not decimal keeps the rows before it",
       [](FakeSwitch& sw) {
         sw.sdk("show portmap", portmap_listing({"xe0 0 1 1", "xe1 0 0x2 2"}));
       },
       [](Asic& a) { a.portmap.clear(), a._parse_portmap(); },
       {K::kValue, R"(not a decimal integer: "0x2")"},
       [](Asic& a) { EXPECT_EQ(a.portmap.size(), 1u); },
       true},
      {"show portmap port the port table cannot name keeps its entry",
       [](FakeSwitch& sw) {
         sw.sdk("show portmap", portmap_listing({"xe0 0 1 1", "xe9 0 2 2"}));
       },
       [](Asic& a) { a.portmap.clear(), a._parse_portmap(); },
       {},
       [](Asic& a) {
         ASSERT_EQ(a.portmap.size(), 2u);
         EXPECT_EQ(a.portmap[1].str(), "dport: xe9, lport: 2, linux_port: None, port_vid: -1");
       },
       true},
      {"pvlan show times out, port VLANs stay unknown",
       [](FakeSwitch& sw) { sw.no_sdk("pvlan show"); },
       [](Asic& a) { a._parse_ports(); },
       {K::kRuntime, "pvlan show"},
       [](Asic& a) { EXPECT_EQ(a.portmap.at(0).port_vid, -1); },
       true},
      {"pvlan show lines not in form or naming no mapped port are skipped",
       [](FakeSwitch& sw) {
         sw.sdk("pvlan show",
                "  Port xe0 default VLAN is 5\nPort xe7 default VLAN is 7\nPort xe0\n");
       },
       [](Asic& a) { a._parse_ports(); },
       {},
       [](Asic& a) { EXPECT_EQ(a.portmap.at(0).port_vid, -1); },
       true},

      // --- VLAN membership and translation --------------------------------------
      {"ports listing with a blank row",
       [](FakeSwitch& sw) {
         sw.sdk("vlan show 10", "vlan 10 untagged xe0\n")
             .sdk("ports xe0", kPortsHeader + "xe0(1)\n\n");
       },
       [](Asic& a) { a._is_port_untagged_for_vid("xe0", 10); },
       {K::kLookup, R"(no field 0 in row "")"},
       [](Asic& a) { EXPECT_FALSE(a.vlans.contains(10)); }},
      {"vlan translate show times out",
       [](FakeSwitch& sw) { sw.no_sdk("vlan translate show"); },
       [](Asic& a) { a.vlan_xlate.clear(), a._parse_vlan_xlate(); },
       {K::kRuntime, "vlan translate show"},
       [](Asic& a) { EXPECT_TRUE(a.vlan_xlate.empty()); },
       true},
      {"vlan translate show says ERROR: empty table, construction goes on",
       [](FakeSwitch& sw) {
         sw.sdk("vlan translate show", "port=1, old_vid=2, new_vid=3\nERROR: no table\n");
       },
       [](Asic& a) { a.vlan_xlate.clear(), a._parse_vlan_xlate(); },
       {},
       [](Asic& a) { EXPECT_TRUE(a.vlan_xlate.empty()); },
       true},
      {"vlan translate field without = keeps earlier lines",
       [](FakeSwitch& sw) {
         sw.sdk("vlan translate show", "port=3, new_vid=30, old_vid=300\nport=1, old_vid\n");
       },
       [](Asic& a) { a.vlan_xlate.clear(), a._parse_vlan_xlate(); },
       {K::kLookup, R"(no "=" in field " old_vid" of line "port=1, old_vid")"},
       [](Asic& a) { EXPECT_EQ(a.vlan_xlate.size(), 1u); },
       true},
      {"vlan translate value not decimal keeps earlier lines",
       [](FakeSwitch& sw) {
         sw.sdk("vlan translate show", "port=3, new_vid=30, old_vid=300\nport=1, old_vid=x\n");
       },
       [](Asic& a) { a.vlan_xlate.clear(), a._parse_vlan_xlate(); },
       {K::kValue, R"(not a decimal integer: "x")"},
       [](Asic& a) { EXPECT_EQ(a.vlan_xlate.size(), 1u); },
       true},

      // --- RIOT ------------------------------------------------------------------
      {"sc L3IngressMode not a hexadecimal number",
       [](FakeSwitch& sw) { sw.sdk("sc L3IngressMode", "L3IngressMode: 0x1\n"); },
       [](Asic& a) { a._is_riot_enabled(); },
       {K::kValue, R"(not a hexadecimal integer: "L3IngressMode: 0x1")"},
       nullptr,
       true},
      {"the VLAN memory has no entry for the VLAN: nothing cached",
       [](FakeSwitch& sw) {
         sw.sdk("sc L3IngressMode", "1\n").sdk("listmem VLAN", "L3_IIF<12:0>\n");
       },
       [](Asic& a) {
         a.riot_enable = true, a.vlan_riot_memtable = "VLAN";
         a._hw_vlan_to_iif(10);
       },
       {K::kLookup, "no VLAN entry 10"},
       [](Asic& a) { EXPECT_TRUE(a.vlan_riot.empty()); }},
      {"the VLAN memory entry has no L3_IIF: nothing cached",
       [](FakeSwitch& sw) {
         sw.table_entry("VLAN_MPLS", 10, {{"VALID", 1}});
       },
       [](Asic& a) {
         a.riot_enable = true, a.vlan_riot_memtable = "VLAN_MPLS";
         a._hw_vlan_to_iif(10);
       },
       {K::kLookup, "no field L3_IIF in VLAN_MPLS entry 10"},
       [](Asic& a) { EXPECT_TRUE(a.vlan_riot.empty()); }},
  };
  for (const auto& row : rows) check_row(row);
}

}  // namespace
}  // namespace grpaudit::testing

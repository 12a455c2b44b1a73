// The Asic's hardware readers: each runs its SDK shell command (or the
// daemon's file), turns the shell's time-out into the reader's own error
// text, and hands the output to the hw/ parser that owns the table.

#include <fmt/format.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "grpaudit/asic/asic.h"
#include "grpaudit/hw/ipmc_table.h"
#include "grpaudit/hw/l3_entry_mem.h"
#include "grpaudit/hw/l3_intf.h"
#include "grpaudit/hw/portmap.h"
#include "grpaudit/hw/repl_groups.h"
#include "grpaudit/hw/riot.h"
#include "grpaudit/hw/vlan.h"
#include "grpaudit/hw/vlan_xlate.h"

namespace grpaudit {

void Asic::_parse_ipmc_table() {
  const auto out = sdk_run("ipmc table show", "ipmc table show timed out");
  hw::parse_ipmc_table(
      *out, [this](std::int64_t id) { return vrf_db->vrf_id2name(id); }, mroutes);
}

Asic::FieldDict Asic::_field_dict_build(std::string_view entry) {
  return hw::field_dict_build(entry);
}

void Asic::_parse_l3_entry_ipmc_table() {
  const std::string cmd = "dump chg l3_entry_ipv4_multicast";
  hw::parse_l3_entry_ipmc_table(
      *sdk_run(cmd, cmd), [this](std::int64_t id) { return vrf_db->vrf_id2name(id); }, mroutes);
}

namespace {

// Switches the daemon's debug output back when the next-hop read fails, so a
// failed run leaves the switch as it found it.
class DebugOutputSwitchBack {
 public:
  explicit DebugOutputSwitchBack(Asic& asic) : asic_(asic) {}
  DebugOutputSwitchBack(const DebugOutputSwitchBack&) = delete;
  DebugOutputSwitchBack& operator=(const DebugOutputSwitchBack&) = delete;
  ~DebugOutputSwitchBack() {
    if (!done_) {
      try {
        Asic::disable_hwprogd_debug(asic_);
      } catch (...) {
        // The read's own error is the one worth reporting.
      }
    }
  }
  // The normal way out, where a failure to switch back is reported.
  void switch_back() {
    done_ = true;
    Asic::disable_hwprogd_debug(asic_);
  }

 private:
  Asic& asic_;
  bool done_ = false;
};

}  // namespace

void Asic::_parse_l3_intf() {
  hw::parse_l3_intf(*sdk_run("l3 intf show", "l3 intf show"), l3_intfs);
}

void Asic::_parse_l3_intf_nhi() {
  enable_hwprogd_debug(*this);
  DebugOutputSwitchBack guard(*this);
  const std::vector<std::string> cat{"cat", "/quorvex/hwprogd/debug/mroute/info"};
  hw::parse_l3_intf_nhi(*cmd_output(cat, ""), l3_intf_nhi);
  guard.switch_back();
}

std::optional<std::pair<std::string, std::string>> Asic::get_l3_egress(const std::string& intf) {
  return hw::find_l3_egress(*sdk_run("l3 egress show", "l3 show"), intf);
}

bool Asic::_is_1G_chip() {
  return hw::is_1g_chip(*sdk_run("show unit", "show unit timed out"));
}

void Asic::_parse_portmap() {
  hw::parse_portmap(
      *sdk_run("show portmap", "show portmap timed out"),
      [this](const std::string& dport) { return pt->bcm2linux(dport); }, portmap);
}

void Asic::_parse_ports() {
  hw::parse_pvlan_show(*sdk_run("pvlan show", "pvlan show"),
                       [this](const std::string& dport, std::int64_t port_vid) {
                         _update_portmap_port_vid(dport, port_vid);
                       });
}

namespace {

hw::ReplGroupContext repl_group_context(Asic& asic) {
  return hw::ReplGroupContext{
      asic.riot_enable,
      asic.l3_intf_nhi,
      asic.l3_intfs,
      [&asic](const std::string& dport) { return asic.pt->bcm2linux(dport); },
      [&asic](const std::string& dport, std::int64_t ivid) { return asic._ivid2evid(dport, ivid); },
  };
}

}  // namespace

void Asic::_parse_multicast_repln_groups() {
  const xlate::PortVlans::Indexed indexed(port_vlans_);
  hw::parse_multicast_show(*sdk_run("multicast show", "multicast show"), repl_group_context(*this),
                           replication_groups);
}

void Asic::warn_of_copies_without_vlan() {
  std::set<std::int64_t> intfs;
  for (const auto& [id, group] : replication_groups) {
    for (const Encap& e : group.l3_encaps) {
      if (e.vlan == -1) intfs.insert(e.intf);
    }
  }
  for (const std::int64_t intf : intfs) {
    warnings_.add(fmt::format(
        "L3 interface {} has no VLAN in `l3 intf show`; its copies were looked up as VLAN -1",
        intf));
  }
}

void Asic::_parse_one_multicast_repln_group(std::string_view dispStr) {
  hw::parse_one_repl_group(dispStr, repl_group_context(*this), replication_groups);
}

std::optional<std::string> Asic::get_repl_group_entry(const std::string& group_id,
                                                      const std::string& intf) const {
  if (!hw::repl_group_has_l3_intf(replication_groups, group_id, intf)) return std::nullopt;
  return intf;
}

std::optional<std::int64_t> Asic::get_repl_group_entry(const std::string& group_id,
                                                       std::int64_t intf) const {
  if (!hw::repl_group_has_l3_intf(replication_groups, group_id, std::to_string(intf))) {
    return std::nullopt;
  }
  return intf;
}

bool Asic::_is_riot_enabled() {
  return hw::parse_l3_ingress_mode(*sdk_run("sc L3IngressMode", "sc L3IngressMode timed out"));
}

std::string Asic::_get_vlan_riot_memtable_name() {
  if (!riot_enable) return "";
  const std::string cmd = "listmem VLAN";
  return hw::riot_memtable_from_listmem(*sdk_run(cmd, cmd));
}

std::optional<std::int64_t> Asic::_hw_vlan_to_iif(std::int64_t iif_vlan) {
  if (iif_vlan < 0) return std::nullopt;
  if (!riot_enable) return iif_vlan;
  if (const auto it = vlan_riot.find(iif_vlan); it != vlan_riot.end()) return it->second;
  const std::int64_t iif = hw::l3_iif_of(bcm->gettable(vlan_riot_memtable, true, iif_vlan, 1),
                                         vlan_riot_memtable, iif_vlan);
  vlan_riot.emplace(iif_vlan, iif);
  return iif;
}

void Asic::_parse_vlan(std::int64_t vid) {
  const std::string vlan_cmd = fmt::format("vlan show {}", vid);
  const auto untagged = hw::parse_vlan_show(*sdk_run(vlan_cmd, vlan_cmd));
  std::optional<std::vector<std::string>> ports;
  if (untagged) {
    const std::string ports_cmd = "ports " + untagged->ports;
    ports = hw::parse_port_names(*sdk_run(ports_cmd, ports_cmd));
  }
  if (!ports) {
    // The table does not change while this object lives: asking again would
    // only repeat the same two commands.
    port_vlans_.store_no_vlan(vid);
    return;
  }
  port_vlans_.store_vlan(VlanEntry(untagged->vlan, std::move(*ports)));
}

void Asic::_parse_vlan_xlate() {
  hw::parse_vlan_xlate(*sdk_run("vlan translate show", "vlan translate show"), vlan_xlate);
}

}  // namespace grpaudit

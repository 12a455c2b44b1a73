#include "grpaudit/asic/asic.h"

#include <ostream>
#include <stdexcept>

#include "grpaudit/platform/errors.h"

namespace grpaudit {

Asic::Asic(bool use_mem_table, bool debug_flag)
    : Asic(current_platform(), use_mem_table, debug_flag) {}

Asic::Asic(const Platform& platform, bool use_mem_table, bool debug_flag) : host_(platform.host) {
  if (!host_) throw std::runtime_error("platform has no host");
  desc = "asic";
  debug = debug_flag;
  if (!platform.port_table) throw std::runtime_error("platform has no port table");
  pt = platform.port_table();
  if (!platform.vrf_db) throw std::runtime_error("platform has no VRF database");
  vrf_db = platform.vrf_db();
  if (!platform.sdk_shell) throw std::runtime_error("platform has no SDK shell");
  bcm = platform.sdk_shell(kSdkShellTimeout);
  hwprogd_debug_enabled = get_hwprogd_debug(*this);
  qv_mroute_hwprogd_debug_enabled = false;
  linux_ports = pt->get_linux_ports();
  mroute_twyn_check_and_get_orig_dev();

  kern_dev_cache.clear();
  kern_mdb_cache.clear();
  flood_mdb_misses = true;
  kern_vlan_cache_created = false;
  kern_vlan_cache.clear();
  kern_vlan_dev_cache_created = false;
  kern_vlan_dev_cache.clear();
  kern_br_cache.clear();

  portmap.clear();
  _parse_portmap();
  _parse_ports();
  l3_intfs.clear();
  _parse_l3_intf();
  vlan_xlate.clear();
  _parse_vlan_xlate();
  vlan_riot.clear();
  riot_enable = _is_riot_enabled();
  vlan_riot_memtable = _get_vlan_riot_memtable_name();
  if (riot_enable) {
    l3_intf_nhi.clear();
    _parse_l3_intf_nhi();
  }
  vlans.clear();
  vlans_without_entry.clear();
  replication_groups.clear();
  _parse_multicast_repln_groups();
  warn_of_copies_without_vlan();

  mroutes.clear();
  if (use_mem_table) {
    _parse_l3_entry_ipmc_table();
  } else {
    _parse_ipmc_table();
  }
}

std::shared_ptr<const std::string> Asic::sdk_run(const std::string& cmd,
                                                 const std::string& timeout_text) {
  try {
    return bcm->run_shared(cmd);
  } catch (const ShellIoError&) {
    throw std::runtime_error(timeout_text);
  }
}

std::shared_ptr<const std::string> Asic::cmd_output(const std::vector<std::string>& cmdList,
                                                    const std::string& dispStr) {
  SharedRunResult result = host_->run_shared(cmdList);
  if (result.status != 0) {
    warnings_.command_fell_back(cmdList, result.status, dispStr);
    return std::make_shared<const std::string>(dispStr);
  }
  return std::move(result.out);
}

std::optional<std::string> Asic::_get_cmd_output(Host& host,
                                                 const std::vector<std::string>& cmdList) {
  RunResult result = host.run(cmdList);
  if (result.status != 0) return std::nullopt;
  return std::move(result.out);
}

std::string Asic::_get_cmd_output(Host& host, const std::vector<std::string>& cmdList,
                                  const std::string& dispStr) {
  auto out = _get_cmd_output(host, cmdList);
  return out ? std::move(*out) : dispStr;
}

std::string Asic::_get_cmd_output(const std::vector<std::string>& cmdList,
                                  const std::string& dispStr) const {
  return _get_cmd_output(*host_, cmdList, dispStr);
}

std::optional<std::string> Asic::_get_cmd_output(const std::vector<std::string>& cmdList) const {
  return _get_cmd_output(*host_, cmdList);
}

RouteKeyParts Asic::_key_to_sip_dip(std::string_view key) {
  return split_route_key(key);
}

std::ostream& operator<<(std::ostream& os, const Asic& asic) {
  return os << asic.str();
}

}  // namespace grpaudit

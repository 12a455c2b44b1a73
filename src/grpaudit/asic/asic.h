#pragma once
// The Asic: one switch as the checker sees it. Construction reads, once,
// every ASIC table the comparison needs through the SDK shell; kernel state is
// read lazily and cached for the object's life.

#include <array>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "grpaudit/asic/platform.h"
#include "grpaudit/records/hw_records.h"
#include "grpaudit/records/kern_records.h"
#include "grpaudit/records/route_key.h"

namespace grpaudit {

class Asic {
 public:
  // Kernel device kinds that the outgoing-interface expansion understands.
  static constexpr std::array<std::string_view, 4> _devs_supported{"bridge", "bond", "vlan",
                                                                   "swp"};
  // Originating devices: one list for the whole process, extended by the
  // MLAG peer check of every construction.
  static inline std::vector<std::string> ORIG_DEV{"lo"};
  // The kernel's multicast termination device.
  static inline const std::string TERM_DEV{"ipmr-lo"};
  // Time-out, in seconds, with which the SDK shell is opened.
  static constexpr int kSdkShellTimeout = 180;

  // Constructs against the process-wide current platform.
  explicit Asic(bool use_mem_table = false, bool debug = false);
  Asic(const Platform& platform, bool use_mem_table = false, bool debug = false);

  Asic(const Asic&) = delete;
  Asic& operator=(const Asic&) = delete;

  // --- command runner -------------------------------------------------------
  // Runs cmdList[0] without a shell and returns its standard output, or
  // `dispStr` when it exits with a non-zero status. Failing to start the
  // program throws std::system_error.
  static std::string _get_cmd_output(Host& host, const std::vector<std::string>& cmdList,
                                     const std::string& dispStr);
  static std::optional<std::string> _get_cmd_output(Host& host,
                                                    const std::vector<std::string>& cmdList);
  std::string _get_cmd_output(const std::vector<std::string>& cmdList,
                              const std::string& dispStr) const;
  std::optional<std::string> _get_cmd_output(const std::vector<std::string>& cmdList) const;

  // --- hardware route table -------------------------------------------------
  void _parse_ipmc_table();
  static RouteKeyParts _key_to_sip_dip(std::string_view key);

  // --- listing and dumps ----------------------------------------------------
  std::set<std::string> get_mroutes() const;
  std::string _dump_one_mroute(const Hmroute& mroute) const;
  // Writes the dumps of the routes named by `filter_mroutes`, in its order
  // (all routes in key order when it is empty).
  void dump_mroutes(const std::vector<std::string>& filter_mroutes = {}) const;
  void dump_mroutes(const std::vector<std::string>& filter_mroutes, std::ostream& out) const;
  std::string str() const;

  // --- attributes, in the order construction creates them -------------------
  std::string desc;
  bool debug = false;
  std::unique_ptr<quorvex::ifatlas::ifatlas> pt;
  std::unique_ptr<quorvex::grpaudit_util::VrfDb> vrf_db;
  std::unique_ptr<asicterm::asicterm> bcm;
  bool hwprogd_debug_enabled = false;
  bool qv_mroute_hwprogd_debug_enabled = false;
  std::vector<std::string> linux_ports;
  std::map<std::string, KernDevEntry> kern_dev_cache;
  std::map<std::string, KernMdbCache> kern_mdb_cache;
  bool flood_mdb_misses = true;
  bool kern_vlan_cache_created = false;
  std::map<std::int64_t, KernVlanEntry> kern_vlan_cache;
  bool kern_vlan_dev_cache_created = false;
  std::map<std::string, KernVlanDevEntry> kern_vlan_dev_cache;
  std::map<std::string, std::vector<std::string>> kern_br_cache;
  std::vector<PortmapEntry> portmap;
  std::map<std::int64_t, std::int64_t> l3_intfs;
  std::vector<VlanXlate> vlan_xlate;
  std::map<std::int64_t, std::int64_t> vlan_riot;
  bool riot_enable = false;
  std::string vlan_riot_memtable;
  std::map<std::int64_t, std::int64_t> l3_intf_nhi;
  std::map<std::int64_t, VlanEntry> vlans;
  std::map<std::int64_t, ReplicationGroup> replication_groups;
  std::map<std::string, Hmroute> mroutes;
  std::set<std::string> tmp_encaps;

  // The Linux machine every kernel read and command goes through.
  const std::shared_ptr<Host>& host() const { return host_; }

 private:
  // Runs an SDK shell command; the shell's time-out becomes a runtime error
  // with `timeout_text`. Other errors pass through.
  std::string sdk_run(const std::string& cmd, const std::string& timeout_text);

  std::shared_ptr<Host> host_;
};

std::ostream& operator<<(std::ostream& os, const Asic& asic);

}  // namespace grpaudit

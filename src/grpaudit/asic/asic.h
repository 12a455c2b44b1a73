#pragma once
// The Asic: one switch as the checker sees it. Construction reads, once,
// every ASIC table the comparison needs through the SDK shell; kernel state is
// read lazily and cached for the object's life.
//
// The Asic is a facade: it holds the documented attributes and the parts
// that work on them (kern::Kernel, xlate::PortVlans, check::Comparison), and
// its members run a command and hand the output to a parser, or forward to a
// part. docs/architecture.md draws the parts.

#include <array>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "grpaudit/check/audit.h"
#include "grpaudit/check/comparison.h"
#include "grpaudit/kern/kernel.h"
#include "grpaudit/platform/platform.h"
#include "grpaudit/records/hw_records.h"
#include "grpaudit/records/kern_records.h"
#include "grpaudit/records/route_key.h"
#include "grpaudit/util/warnings.h"
#include "grpaudit/xlate/port_vlans.h"

namespace grpaudit {

class Asic {
 public:
  // Kernel device kinds that the outgoing-interface expansion understands.
  static constexpr std::array<std::string_view, 4> _devs_supported = check::kDevsSupported;
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

  // --- forwarding-daemon debug control (class-level, take the Asic) --------
  static bool get_hwprogd_debug(Asic& asic);
  static void enable_hwprogd_debug(Asic& asic);
  static void disable_hwprogd_debug(Asic& asic);

  // --- MLAG peer check ------------------------------------------------------
  void mroute_twyn_check_and_get_orig_dev();

  // --- hardware route table -------------------------------------------------
  void _parse_ipmc_table();
  static RouteKeyParts _key_to_sip_dip(std::string_view key);

  // --- L3 entry memory table ------------------------------------------------
  using FieldDict = std::pair<std::optional<std::string>, std::map<std::string, std::string>>;
  static FieldDict _field_dict_build(std::string_view entry);
  void _parse_l3_entry_ipmc_table();

  // --- replication groups ---------------------------------------------------
  void _parse_multicast_repln_groups();
  void _parse_one_multicast_repln_group(std::string_view dispStr);
  // `intf` when the group has an L3 entry matching it, else none (the "0").
  std::optional<std::string> get_repl_group_entry(const std::string& group_id,
                                                  const std::string& intf) const;
  std::optional<std::int64_t> get_repl_group_entry(const std::string& group_id,
                                                   std::int64_t intf) const;

  // --- L3 interfaces and egress ---------------------------------------------
  void _parse_l3_intf();
  void _parse_l3_intf_nhi();
  // (mac, l3_ipmc) of the first egress row for `intf`, or none (the "(0, 0)").
  std::optional<std::pair<std::string, std::string>> get_l3_egress(const std::string& intf);

  // --- port map and port VLANs ----------------------------------------------
  bool _is_1G_chip();
  void _parse_portmap();
  void _parse_ports();

  // --- VLAN membership and translation --------------------------------------
  void _parse_vlan(std::int64_t vid);
  void _parse_vlan_xlate();

  // --- RIOT VLAN-to-IIF mapping ---------------------------------------------
  bool _is_riot_enabled();
  std::string _get_vlan_riot_memtable_name();
  std::optional<std::int64_t> _hw_vlan_to_iif(std::int64_t iif_vlan);

  // --- kernel device cache --------------------------------------------------
  std::string _kern_dev_kind_parse(const std::string& dev);
  std::int64_t _kern_dev_vlan_filtering_parse(const std::string& dev);
  const KernDevEntry& _kern_dev_cache_get(const std::string& dev);
  std::string _kern_dev_kind_get(const std::string& dev);
  std::int64_t _kern_dev_vlan_filtering_get(const std::string& dev);
  std::pair<std::string, std::int64_t> _kern_get_dev_vlan(const std::string& dev,
                                                          const std::string& kind,
                                                          std::int64_t parent_vlan = -1);
  // (kind, base device, VLAN) of an interface.
  std::tuple<std::string, std::string, std::int64_t> _kern_base_dev_kind_get(
      const std::string& orig_dev, std::int64_t parent_vlan = -1);

  // --- kernel bridge VLAN membership ----------------------------------------
  void _kern_create_vlan_cache();
  std::vector<std::string> _kern_get_vlan_members(std::int64_t vid);

  // --- kernel bridge members ------------------------------------------------
  std::vector<std::string> _kern_get_br_members(const std::string& dev);
  std::vector<std::string> _kern_setup_br_cache(const std::string& dev);

  // --- kernel multicast database --------------------------------------------
  // The bridge's entry for the VLAN and group MAC, or null; points into
  // kern_mdb_cache, which never drops an entry.
  const KernMdbEntry* _kern_dev_get_mdb_entry(const std::string& orig_dev, std::int64_t orig_vlan,
                                              const std::string& orig_grp);

  // --- kernel VLAN devices --------------------------------------------------
  void _kern_create_vlan_dev_cache();
  // (VID, lower device), both none when `dev` is not a VLAN device.
  std::pair<std::optional<std::int64_t>, std::optional<std::string>> _kern_get_vlan_and_atlink(
      const std::string& dev);

  // --- port and VLAN lookups ------------------------------------------------
  void _update_portmap_port_vid(const std::string& dport, std::int64_t port_vid);
  std::int64_t _dport2logical_port(const std::string& dport) const;
  std::pair<std::int64_t, std::int64_t> _get_logical_port_and_pvid(
      const std::string& linux_port) const;
  bool _is_port_untagged_for_vid(const std::string& dport, std::int64_t vid);
  std::int64_t _ivid2evid(const std::string& dport, std::int64_t ivid);
  std::int64_t _evid2ivid(std::int64_t logical_port, std::int64_t evid) const;
  static std::string _grp_ip2mac(std::string_view grp);

  // --- kernel OIF expansion -------------------------------------------------
  void _expand_kern_dev(const std::string& grp, const std::string& orig_dev,
                        std::int64_t parent_vlan = -1);
  std::vector<std::string> _expand_kern_bridge(std::int64_t vlan_filtering, const std::string& grp,
                                               const std::string& dev, std::int64_t vlan);
  std::vector<std::string> _expand_kern_vlan_aware_bridge(const std::string& grp_mac,
                                                          const std::string& dev,
                                                          std::int64_t vlan);
  std::vector<std::string> _expand_kern_vlan_unaware_bridge(const std::string& grp_mac,
                                                            const std::string& dev);

  // Whether the kernel's bridge VLAN table lists `member` among the untagged
  // ports of `vlan` (building the table on first use).
  bool _kern_is_untagged_vlan_member(std::int64_t vlan, const std::string& member);

  // --- kernel IIF to hardware VLAN ------------------------------------------
  std::int64_t _kern_iif_to_hw_vlan(const std::string& base_kind, const std::string& base_iif,
                                    std::int64_t iif_vlan, const std::string& member);

  // --- bond members ---------------------------------------------------------
  std::vector<std::string> _expand_kern_bond(const std::string& dev);

  // --- comparison -----------------------------------------------------------
  // Whether the hardware route of `key` forwards as the kernel route with
  // incoming interface `iif` and outgoing interfaces `oil` does. Mismatches
  // are appended to the route's records; originated and terminated routes are
  // left to `ul_mcast`.
  bool mroute_eq(const std::string& key, const std::string& iif,
                 const std::vector<std::string>& oil, MrouteChecker& ul_mcast);

  // What the kernel side of a compared route expands to, which rule decided
  // a comparison, and what it found (check/comparison.h).
  using MrouteExpectation = check::MrouteExpectation;
  using MrouteOutcome = check::MrouteOutcome;
  using MrouteComparison = check::MrouteComparison;
  // The comparison behind mroute_eq, also telling what the kernel expected.
  MrouteComparison compare_mroute(const std::string& key, const std::string& iif,
                                  const std::vector<std::string>& oil, MrouteChecker& ul_mcast);
  // The audit of every route of `kernel` and of the hardware (only those named
  // by `keys` when it is not empty), as check::audit runs it over this
  // object's parts; the result points into `kernel` and mroutes.
  check::AuditResult audit(const std::map<std::string, kern::KernelRoute>& kernel,
                           const std::vector<std::string>& keys,
                           const check::AuditProgress& progress = {},
                           bool expected_of_sound_routes = true);
  // The same, given mroutes' route of `key` (null when it has none): a caller
  // that walks mroutes in key order spares the search. With an audit's
  // `index`, the lookups it holds are made there.
  MrouteComparison compare_mroute(const std::string& key, const std::string& iif,
                                  const std::vector<std::string>& oil, MrouteChecker& ul_mcast,
                                  Hmroute* hw_route, const check::AuditIndex* index = nullptr);

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
  // VLAN ids whose reading stored no entry: asked again, they are "not
  // untagged" without rerunning the SDK commands of an unchanging table.
  std::set<std::int64_t> vlans_without_entry;
  std::map<std::int64_t, ReplicationGroup> replication_groups;
  std::map<std::string, Hmroute> mroutes;
  std::set<std::string> tmp_encaps;

  // The Linux machine every kernel read and command goes through.
  const std::shared_ptr<Host>& host() const { return host_; }

  // Failures this object tolerated so far (util/warnings.h): at construction
  // and in every kernel read since. Readers of other inputs of the same run
  // (the kernel's route listing) may add theirs.
  util::Warnings& warnings() { return warnings_; }
  const util::Warnings& warnings() const { return warnings_; }

 private:
  // Runs an SDK shell command; the shell's time-out becomes a runtime error
  // with `timeout_text`. Other errors pass through. The output is shared with
  // the shell where it holds it: listings run to megabytes.
  std::shared_ptr<const std::string> sdk_run(const std::string& cmd,
                                             const std::string& timeout_text);
  // _get_cmd_output, with the output shared with the Host where it can be.
  // A fallback is also a warning.
  std::shared_ptr<const std::string> cmd_output(const std::vector<std::string>& cmdList,
                                                const std::string& dispStr);

  // Copies of routed entries whose L3 interface has no VLAN in l3_intfs, and
  // so were looked up as VLAN -1: one warning per interface.
  void warn_of_copies_without_vlan();

  std::shared_ptr<Host> host_;
  util::Warnings warnings_;
  // The kernel readers, over the kernel caches above.
  kern::Kernel kernel_{
      host_, linux_ports,
      kern::Caches{kern_dev_cache, kern_mdb_cache, kern_vlan_cache_created, kern_vlan_cache,
                   kern_vlan_dev_cache_created, kern_vlan_dev_cache, kern_br_cache},
      warnings_};
  // The port and VLAN lookups, over the tables above; a VLAN they need is
  // read by _parse_vlan.
  xlate::PortVlans port_vlans_{xlate::Tables{portmap, vlan_xlate, vlans, vlans_without_entry},
                               [this](std::int64_t vid) { _parse_vlan(vid); }};
  // The expansion and the comparison, over the parts and tables above.
  check::Comparison comparison_{
      check::Sides{kernel_, port_vlans_, replication_groups, tmp_encaps, flood_mdb_misses, ORIG_DEV,
                   TERM_DEV, [this](std::int64_t vlan) { return _hw_vlan_to_iif(vlan); }, *this}};
};

std::ostream& operator<<(std::ostream& os, const Asic& asic);

}  // namespace grpaudit

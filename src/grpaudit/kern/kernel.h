#pragma once
// The kernel state a comparison reads: device kinds and VLAN filtering, VLAN
// devices, bridge VLAN membership, bridge members, each bridge's multicast
// database with its router ports, and bond members. Everything is read
// through the Host on first need and cached for the object's life.
//
// The caches themselves belong to whoever owns this part (the Asic keeps
// them as its attributes, where callers see them): the part reads and fills
// them through the references it is given.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "grpaudit/platform/platform.h"
#include "grpaudit/records/kern_records.h"
#include "grpaudit/util/warnings.h"

namespace grpaudit::kern {

// The caches the part fills, where their owner keeps them.
struct Caches {
  std::map<std::string, KernDevEntry>& dev;
  std::map<std::string, KernMdbCache>& mdb;
  bool& vlan_created;
  std::map<std::int64_t, KernVlanEntry>& vlan;
  bool& vlan_dev_created;
  std::map<std::string, KernVlanDevEntry>& vlan_dev;
  std::map<std::string, std::vector<std::string>>& br;
};

// An interface resolved to its base device, as base_dev_kind_get resolves
// it; the VLAN is the device's own when `own_vlan`, else the one handed in.
// The kind is one of the part's own kind names, which stay for its life.
struct BaseDev {
  const std::string* kind = nullptr;
  std::string dev;
  std::int64_t vlan = -1;
  bool own_vlan = false;
};

class Kernel {
 public:
  // `linux_ports`: the front-panel port names, which are kind "swp" without
  // asking the kernel; read where their owner keeps them. Failures the part
  // tolerates (a command that falls back, a file that exists but cannot be
  // read, a bridge without its port list) go to `warnings`.
  Kernel(std::shared_ptr<Host> host, const std::vector<std::string>& linux_ports, Caches caches,
         util::Warnings& warnings);
  Kernel(const Kernel&) = delete;
  Kernel& operator=(const Kernel&) = delete;

  Host& host() const { return *host_; }

  // --- device cache ---------------------------------------------------------
  std::string dev_kind_parse(const std::string& dev);
  std::int64_t dev_vlan_filtering_parse(const std::string& dev);
  const KernDevEntry& dev_cache_get(const std::string& dev);
  const std::string& dev_kind_get(const std::string& dev) { return dev_cache_get(dev).kind; }
  std::int64_t dev_vlan_filtering_get(const std::string& dev) {
    return dev_cache_get(dev).vlan_filtering;
  }
  // (lower device, VID) of a VLAN device; (dev, parent_vlan) of anything else.
  std::pair<std::string, std::int64_t> get_dev_vlan(const std::string& dev, const std::string& kind,
                                                    std::int64_t parent_vlan);
  // (kind, base device, VLAN) of an interface.
  std::tuple<std::string, std::string, std::int64_t> base_dev_kind_get(const std::string& orig_dev,
                                                                       std::int64_t parent_vlan);
  // The resolution of `orig_dev`, as base_dev_kind_get resolves it.
  BaseDev base_dev(const std::string& orig_dev);

  // --- bridge VLAN membership -----------------------------------------------
  void create_vlan_cache();
  // The tagged members of `vid`, then the untagged ones.
  std::vector<std::string> get_vlan_members(std::int64_t vid);
  // The cache's entry of `vid`, or null; the cache must have been read.
  const KernVlanEntry* vlan_entry(std::int64_t vid) const;
  bool vlan_cache_created() const { return caches_.vlan_created; }
  const std::map<std::int64_t, KernVlanEntry>& vlan_cache() const { return caches_.vlan; }

  // --- bridge members -------------------------------------------------------
  std::vector<std::string> get_br_members(const std::string& dev);
  std::vector<std::string> setup_br_cache(const std::string& dev);

  // --- multicast database ---------------------------------------------------
  // The bridge's entry for the VLAN and group MAC, or null; points into the
  // MDB cache, which never drops an entry.
  const KernMdbEntry* dev_get_mdb_entry(const std::string& orig_dev, std::int64_t orig_vlan,
                                        const std::string& orig_grp);

  // --- VLAN devices ---------------------------------------------------------
  void create_vlan_dev_cache();
  // (VID, lower device), both none when `dev` is not a VLAN device.
  std::pair<std::optional<std::int64_t>, std::optional<std::string>> get_vlan_and_atlink(
      const std::string& dev);

  // --- bonds ----------------------------------------------------------------
  // The bond's member devices as the kernel lists them; read anew each time.
  std::vector<std::string> expand_bond(const std::string& dev);

 private:
  // The command runner: standard output, or `fallback` (and a warning) on a
  // non-zero exit status; shared with the Host where it can be.
  std::shared_ptr<const std::string> cmd_output(const std::vector<std::string>& argv,
                                                const std::string& fallback) const;

  std::shared_ptr<Host> host_;
  const std::vector<std::string>& linux_ports_;
  Caches caches_;
  util::Warnings& warnings_;

  // The kinds of devices the resolution has met, which BaseDev points to;
  // never erased.
  std::set<std::string> kinds_;
  // The key of the multicast database entry last asked for.
  std::string mdb_key_;
  std::uint64_t base_devs_generation_ = 1;
};

}  // namespace grpaudit::kern

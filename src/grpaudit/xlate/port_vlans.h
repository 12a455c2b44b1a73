#pragma once
// Lookups between the kernel's and the ASIC's names of ports and VLANs, over
// the port map, the VLAN translation table and the VLAN membership read on
// demand; and the hardware VLAN on which a route's packets arrive. Where
// several entries fit, the first in table order wins.
//
// The tables belong to whoever owns this part (the Asic keeps them as its
// attributes): the part answers from them through the references it is
// given, with indexes of its own that answer as scans in table order would.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <absl/container/flat_hash_map.h>

#include "grpaudit/records/hw_records.h"

namespace grpaudit::xlate {

// The tables the lookups read, where their owner keeps them.
struct Tables {
  std::vector<PortmapEntry>& portmap;
  std::vector<VlanXlate>& vlan_xlate;
  // VLAN membership as read so far, and the VLANs whose reading stored no
  // entry: asked again, they are "not untagged" without reading again.
  std::map<std::int64_t, VlanEntry>& vlans;
  std::set<std::int64_t>& vlans_without_entry;
};

class PortVlans {
 public:
  // `read_vlan(vid)` reads one VLAN's membership from the ASIC and stores it
  // through store_vlan or store_no_vlan; it is asked for a VLAN that neither
  // table holds.
  PortVlans(Tables tables, std::function<void(std::int64_t vid)> read_vlan);
  PortVlans(const PortVlans&) = delete;
  PortVlans& operator=(const PortVlans&) = delete;

  // Sets the port VID of every port map entry named `dport`.
  void update_portmap_port_vid(const std::string& dport, std::int64_t port_vid);
  // The logical port of the first entry named `dport`, or -1.
  std::int64_t dport2logical_port(const std::string& dport) const;
  // (logical port, port VID) of the first entry of Linux name `linux_port`,
  // or (-1, -1).
  std::pair<std::int64_t, std::int64_t> get_logical_port_and_pvid(
      const std::string& linux_port) const;
  // Whether `dport` is an untagged member of VLAN `vid` (read on first need).
  bool is_port_untagged_for_vid(const std::string& dport, std::int64_t vid);
  // The VLAN a copy of internal VLAN `ivid` carries on the wire of `dport`;
  // -1 when it leaves untagged.
  std::int64_t ivid2evid(const std::string& dport, std::int64_t ivid);
  // The internal VLAN of wire VLAN `evid` on `logical_port`, or -1.
  std::int64_t evid2ivid(std::int64_t logical_port, std::int64_t evid) const;
  // The hardware VLAN a route's packets arrive in, from the kernel IIF's base
  // kind and VLAN and one replication identity of it (`member`, "" for none).
  std::int64_t kern_iif_to_hw_vlan(const std::string& base_kind, std::int64_t iif_vlan,
                                   const std::string& member) const;

  // What a VLAN's reading stored: an entry under the VLAN it names, or none
  // for the VLAN `vid` asked about.
  void store_vlan(VlanEntry entry);
  void store_no_vlan(std::int64_t vid);

  // While one exists, the lookups answer from indexes made over the tables
  // when it was made, instead of scanning the port map and the translations
  // and searching the VLAN tree for every question: reading the replication
  // group listing asks about a port and VLAN for every routed copy, and an
  // audit about every interface of every route. Meanwhile the port map and
  // the translations must not change (port VIDs aside), and the VLAN tables
  // only through store_vlan and store_no_vlan. Outside one, every lookup
  // reads the tables themselves.
  class Indexed {
   public:
    explicit Indexed(PortVlans& lookups);
    ~Indexed();
    Indexed(const Indexed&) = delete;
    Indexed& operator=(const Indexed&) = delete;

   private:
    PortVlans& lookups_;
  };

 private:
  // Positions in the port map and the translations, the first of a key
  // where a scan would take the first; and the VLAN tables by VLAN ID.
  struct Index {
    absl::flat_hash_map<std::string, std::vector<std::size_t>> dport;
    absl::flat_hash_map<std::string, std::size_t> linux_port;
    absl::flat_hash_map<std::pair<std::int64_t, std::int64_t>, std::size_t> ivid;
    absl::flat_hash_map<std::pair<std::int64_t, std::int64_t>, std::size_t> evid;
    absl::flat_hash_map<std::int64_t, const VlanEntry*> vlans;
  };
  Index make_index() const;

  // Position of the first port map entry named `dport`, or none.
  std::optional<std::size_t> first_dport(const std::string& dport) const;
  // The first translation of `lport` whose `key` (ivid or evid) is `vid`.
  const VlanXlate* translation(std::int64_t lport, std::int64_t vid, bool by_ivid) const;
  // vlans' entry of `vid`; kVlanWithoutEntry when its reading stored none;
  // null when it was not read.
  const VlanEntry* vlan_entry(std::int64_t vid) const;
  static const VlanEntry kVlanWithoutEntry;

  Tables tables_;
  std::function<void(std::int64_t)> read_vlan_;
  std::unique_ptr<Index> index_;
  int indexed_ = 0;  // Indexed scopes open
};

}  // namespace grpaudit::xlate

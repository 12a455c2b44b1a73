#pragma once
// What an audit of many routes works out once and asks again and again:
// every replication identity interned as a number, each replication group's
// identities as sorted numbers, the expansion of each kernel interface, the
// kernel's bridge VLAN entries, the RIOT answers by VLAN ID and the base
// device of each interface. An audit makes one, hands it to every comparison
// it runs, and drops it; nothing else sees it.
//
// While it lives, the replication groups it was made from must not change;
// the kernel caches only grow, the VLAN cache is read once and RIOT answers
// are only added, so what it keeps of them stays true.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <absl/container/flat_hash_map.h>
#include <absl/container/node_hash_map.h>

#include "grpaudit/kern/kernel.h"
#include "grpaudit/records/hw_records.h"
#include "grpaudit/records/kern_records.h"

namespace grpaudit::check {

class AuditIndex {
 public:
  // Interned identities, sorted by number (an order of their own, the same
  // for every set, which is all that set comparisons need).
  using Ids = std::vector<std::uint32_t>;

  explicit AuditIndex(const std::map<std::int64_t, ReplicationGroup>& groups);
  AuditIndex(const AuditIndex&) = delete;
  AuditIndex& operator=(const AuditIndex&) = delete;

  const ReplicationGroup* find(std::int64_t mcast_grp) const;

  // The number of identity `text`, the same for the same text.
  std::uint32_t intern(const std::string& text) const;
  // The text of identity number `id`.
  const std::string& text(std::uint32_t id) const { return texts_[id]; }
  // Every identity's text by number, for a result that outlives the index.
  std::vector<std::string> take_texts() { return std::move(texts_); }

  // A group's replication identities, of its routed copies and of its
  // bridged ones, made on first need.
  struct GroupIds {
    Ids l3;
    Ids l2;
  };
  // Those of `mcast_grp`, or null when there is no such group.
  const GroupIds* group_ids(std::int64_t mcast_grp) const;

  // What one kernel interface expands to, remembered by what the answer
  // depends on (see Comparison): its identities and, for an incoming
  // interface, the port parts of them, the smallest of them in byte-wise
  // order and the L3 IIF derived from it.
  struct Expansion {
    Ids ids;
    Ids l2;
    std::string first;
    std::optional<std::int64_t> iif;
  };
  // The expansion remembered under `key`, or null.
  const Expansion* expansion(const std::string& key) const;
  const Expansion& remember(const std::string& key, Expansion expansion) const;

  // The entry of `vid` in the kernel's VLAN cache `cache` (read and no
  // longer changing), or null.
  const KernVlanEntry* kern_vlan(std::int64_t vid,
                                 const std::map<std::int64_t, KernVlanEntry>& cache) const;

  // kernel.base_dev(name), remembered: every route asks it for each of its
  // interfaces, and the kernel caches only grow while an audit runs. The
  // reference stays valid for the index's life.
  const kern::BaseDev& base_dev(const std::string& name, kern::Kernel& kernel) const;

  // The RIOT answer for `vlan`: the one given before, or `answer(vlan)`,
  // kept when it returns one.
  std::optional<std::int64_t> riot(
      std::int64_t vlan,
      const std::function<std::optional<std::int64_t>(std::int64_t)>& answer) const;

 private:
  struct Group {
    const ReplicationGroup* group;
    mutable std::optional<GroupIds> ids;  // made on first need
  };
  Ids ids_of(const std::vector<Encap>& encaps) const;

  absl::flat_hash_map<std::int64_t, Group> groups_;
  // Filled as the comparisons go (hence mutable): the identities' texts by
  // number and their numbers by text,
  mutable std::vector<std::string> texts_;
  mutable absl::flat_hash_map<std::string, std::uint32_t> ids_;
  mutable std::string scratch_;
  // the remembered expansions,
  mutable absl::node_hash_map<std::string, Expansion> expansions_;
  // the kernel's VLAN cache by VLAN ID, made on first need,
  mutable bool kern_vlans_made_ = false;
  mutable absl::flat_hash_map<std::int64_t, const KernVlanEntry*> kern_vlans_;
  // the RIOT answers by VLAN ID, as they are asked,
  mutable absl::flat_hash_map<std::int64_t, std::int64_t> riot_;
  // and the base devices of the interfaces asked about.
  mutable absl::node_hash_map<std::string, kern::BaseDev> base_devs_;
};

}  // namespace grpaudit::check

#pragma once
// What an audit of most routes looks up again and again, found flat instead
// of by a tree search per route and interface: the replication groups by ID
// with their identities made once, the kernel's bridge VLAN entries and the
// RIOT answers by VLAN ID. An audit makes one, hands it to every comparison
// it runs, and drops it; nothing else sees it.
//
// While it lives, the replication groups it was made from must not change;
// the kernel's VLAN cache is read once and RIOT answers are only added, so
// what it keeps of them stays true.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <absl/container/node_hash_map.h>

#include "grpaudit/kern/kernel.h"
#include "grpaudit/records/hw_records.h"
#include "grpaudit/records/kern_records.h"
#include "grpaudit/util/text_run.h"

namespace grpaudit::check {

class AuditIndex {
 public:
  // With `every_group`, the identities of every group are made at once, in
  // group order (for a comparison of most routes); else each as it is first
  // asked for.
  explicit AuditIndex(const std::map<std::int64_t, ReplicationGroup>& groups,
                      bool every_group = false);
  AuditIndex(const AuditIndex&) = delete;
  AuditIndex& operator=(const AuditIndex&) = delete;

  const ReplicationGroup* find(std::int64_t mcast_grp) const;

  // A group's replication identities, of its routed copies and of its
  // bridged ones, as sorted_identities gives them: kept compact for the
  // routes that share the group, which read them rather than its copies.
  struct GroupIdentities {
    util::TextRun l3;
    util::TextRun l2;
  };
  // Those of `mcast_grp`, or none when there is no such group. Valid until
  // the next call.
  std::optional<GroupIdentities> identities(std::int64_t mcast_grp) const;

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
  // VLAN IDs below this are indexed flat; others are asked each time.
  static constexpr std::int64_t kFlatVids = 65536;

  // Open addressing, at most half full, a power of two in size; a null
  // group marks a free slot.
  struct Slot {
    std::int64_t mcast_grp = 0;
    const ReplicationGroup* group = nullptr;
    // The group's identities in runs_: [l3_at, l2_at) and [l2_at, end).
    mutable std::size_t l3_at = kNotMade;
    mutable std::size_t l2_at = 0;
    mutable std::size_t end = 0;
  };
  static constexpr std::size_t kNotMade = static_cast<std::size_t>(-1);
  std::size_t home(std::int64_t mcast_grp) const;
  const Slot* slot_of(std::int64_t mcast_grp) const;
  void make_identities(const Slot& slot) const;

  std::vector<Slot> slots_;
  // Filled as the comparison goes (hence mutable):
  // the groups' identities, end to end;
  mutable std::vector<char> runs_;
  mutable std::vector<std::string> texts_;  // scratch for making them
  // the kernel's VLAN cache by VLAN ID, made on first need; null where it
  // has no entry;
  mutable bool kern_vlans_made_ = false;
  mutable std::vector<const KernVlanEntry*> kern_vlans_;
  // the RIOT answers by VLAN ID, as they are asked; none where not yet;
  mutable std::vector<std::optional<std::int64_t>> riot_;
  // the base devices of the interfaces asked about.
  mutable absl::node_hash_map<std::string, kern::BaseDev> base_devs_;
};

}  // namespace grpaudit::check

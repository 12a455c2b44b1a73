#pragma once
// Reader of the ASIC's multicast replication groups ("multicast show") and
// the lookup of a group's routed entries.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "grpaudit/records/hw_records.h"

namespace grpaudit::hw {

// What reading a group needs from the rest of the hardware model.
struct ReplGroupContext {
  bool riot_enable;
  // Next-hop index to L3 interface; consulted only with RIOT on.
  const std::map<std::int64_t, std::int64_t>& l3_intf_nhi;
  // L3 interface to its internal VLAN.
  const std::map<std::int64_t, std::int64_t>& l3_intfs;
  // Linux name of an SDK port; its errors propagate.
  std::function<std::string(const std::string&)> bcm2linux;
  // The VLAN a copy of internal VLAN `ivid` carries on port `dport`, -1 untagged.
  std::function<std::int64_t(const std::string& dport, std::int64_t ivid)> ivid2evid;
};

// Reads every group of the listing: the text is cut at each "Group" and the
// text before the first is dropped.
void parse_multicast_show(std::string_view text, const ReplGroupContext& ctx,
                          std::map<std::int64_t, ReplicationGroup>& groups);

// Stores the group of one piece (the text after one "Group"), unless its
// header line says "L2" or the piece is empty; a later group with the same id
// replaces an earlier one. Member lines not of the form "<white space>port P,
// encap id N" and members on cpu0 are skipped. A header without a hexadecimal
// id fails (std::out_of_range, std::invalid_argument), as do errors of the
// callbacks.
void parse_one_repl_group(std::string_view piece, const ReplGroupContext& ctx,
                          std::map<std::int64_t, ReplicationGroup>& groups);

// Whether the group of hexadecimal id `group_id` has an L3 entry whose
// interface matches `intf`. Both ids are compared without their first
// character, as callers have always relied on.
bool repl_group_has_l3_intf(const std::map<std::int64_t, ReplicationGroup>& groups,
                            std::string_view group_id, std::string_view intf);

}  // namespace grpaudit::hw

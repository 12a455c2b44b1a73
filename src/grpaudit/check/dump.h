#pragma once
// Listing and printing the hardware routes, each with the mismatches the
// comparison recorded on it and its replication group's entries.

#include <cstdint>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "grpaudit/records/hw_records.h"

namespace grpaudit::check {

using Mroutes = std::map<std::string, Hmroute>;
using ReplicationGroups = std::map<std::int64_t, ReplicationGroup>;

// The keys of every hardware route.
std::set<std::string> mroute_keys(const Mroutes& mroutes);

// One route's text form, then its replication group's when there is one.
std::string dump_one_mroute(const Hmroute& mroute, const ReplicationGroups& groups);

// The dumps of the routes named by `filter` in its order (keys without a
// route are left out), or of every route in key order when it is empty.
void dump_mroutes(const Mroutes& mroutes, const ReplicationGroups& groups,
                  const std::vector<std::string>& filter, std::ostream& out);

// "Asic ip mroutes:" and every route's dump.
std::string mroutes_text(const Mroutes& mroutes, const ReplicationGroups& groups);

}  // namespace grpaudit::check

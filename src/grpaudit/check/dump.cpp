// Listing and printing the hardware routes with their replication entries
// and the mismatches the comparison recorded.

#include <iostream>

#include "grpaudit/asic/asic.h"

namespace grpaudit {

std::set<std::string> Asic::get_mroutes() const {
  std::set<std::string> keys;
  for (const auto& [key, route] : mroutes) keys.insert(keys.end(), key);
  return keys;
}

std::string Asic::_dump_one_mroute(const Hmroute& mroute) const {
  std::string out = mroute.str() + "\n";
  if (const auto it = replication_groups.find(mroute.grp); it != replication_groups.end()) {
    out += it->second.str();
  }
  return out;
}

void Asic::dump_mroutes(const std::vector<std::string>& filter_mroutes) const {
  dump_mroutes(filter_mroutes, std::cout);
}

void Asic::dump_mroutes(const std::vector<std::string>& filter_mroutes, std::ostream& out) const {
  if (filter_mroutes.empty()) {
    for (const auto& [key, route] : mroutes) out << _dump_one_mroute(route);
    return;
  }
  for (const auto& key : filter_mroutes) {
    if (const auto it = mroutes.find(key); it != mroutes.end()) out << _dump_one_mroute(it->second);
  }
}

std::string Asic::str() const {
  std::string out = "Asic ip mroutes:\n";
  for (const auto& [key, route] : mroutes) out += _dump_one_mroute(route);
  return out;
}

}  // namespace grpaudit

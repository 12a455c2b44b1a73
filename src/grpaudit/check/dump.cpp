#include "grpaudit/check/dump.h"

namespace grpaudit::check {

std::set<std::string> mroute_keys(const Mroutes& mroutes) {
  std::set<std::string> keys;
  for (const auto& [key, route] : mroutes) keys.insert(keys.end(), key);
  return keys;
}

std::string dump_one_mroute(const Hmroute& mroute, const ReplicationGroups& groups) {
  std::string out = mroute.str() + "\n";
  if (const auto it = groups.find(mroute.grp); it != groups.end()) out += it->second.str();
  return out;
}

void dump_mroutes(const Mroutes& mroutes, const ReplicationGroups& groups,
                  const std::vector<std::string>& filter, std::ostream& out) {
  if (filter.empty()) {
    for (const auto& [key, route] : mroutes) out << dump_one_mroute(route, groups);
    return;
  }
  for (const auto& key : filter) {
    if (const auto it = mroutes.find(key); it != mroutes.end()) {
      out << dump_one_mroute(it->second, groups);
    }
  }
}

std::string mroutes_text(const Mroutes& mroutes, const ReplicationGroups& groups) {
  std::string out = "Asic ip mroutes:\n";
  for (const auto& [key, route] : mroutes) out += dump_one_mroute(route, groups);
  return out;
}

}  // namespace grpaudit::check

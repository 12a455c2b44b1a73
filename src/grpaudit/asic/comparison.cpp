// The Asic's expansion, comparison and dumps: each the comparison part's own
// (check/comparison.h) or the dump's (check/dump.h).

#include <iostream>

#include "grpaudit/asic/asic.h"
#include "grpaudit/check/dump.h"

namespace grpaudit {

void Asic::_expand_kern_dev(const std::string& grp, const std::string& orig_dev,
                            std::int64_t parent_vlan) {
  comparison_.expand_kern_dev(grp, orig_dev, parent_vlan);
}

std::vector<std::string> Asic::_expand_kern_bridge(std::int64_t vlan_filtering,
                                                   const std::string& grp, const std::string& dev,
                                                   std::int64_t vlan) {
  return comparison_.expand_bridge(vlan_filtering, grp, dev, vlan);
}

std::vector<std::string> Asic::_expand_kern_vlan_aware_bridge(const std::string& grp_mac,
                                                              const std::string& dev,
                                                              std::int64_t vlan) {
  return comparison_.expand_vlan_aware_bridge(grp_mac, dev, vlan);
}

std::vector<std::string> Asic::_expand_kern_vlan_unaware_bridge(const std::string& grp_mac,
                                                                const std::string& dev) {
  return comparison_.expand_vlan_unaware_bridge(grp_mac, dev);
}

bool Asic::_kern_is_untagged_vlan_member(std::int64_t vlan, const std::string& member) {
  return comparison_.is_untagged_vlan_member(vlan, member);
}

bool Asic::mroute_eq(const std::string& key, const std::string& iif,
                     const std::vector<std::string>& oil, MrouteChecker& ul_mcast) {
  return compare_mroute(key, iif, oil, ul_mcast).equal;
}

Asic::MrouteComparison Asic::compare_mroute(const std::string& key, const std::string& iif,
                                            const std::vector<std::string>& oil,
                                            MrouteChecker& ul_mcast) {
  const auto found = mroutes.find(key);
  return compare_mroute(key, iif, oil, ul_mcast, found == mroutes.end() ? nullptr : &found->second);
}

Asic::MrouteComparison Asic::compare_mroute(const std::string& key, const std::string& iif,
                                            const std::vector<std::string>& oil,
                                            MrouteChecker& ul_mcast, Hmroute* hw_route,
                                            const check::AuditIndex* index) {
  return comparison_.compare(key, iif, oil, ul_mcast, hw_route, index);
}

check::AuditResult Asic::audit(const std::map<std::string, kern::KernelRoute>& kernel,
                               const std::vector<std::string>& keys,
                               const check::AuditProgress& progress,
                               bool expected_of_sound_routes) {
  check::AuditResult result = check::audit(comparison_, mroutes, replication_groups, kernel, keys,
                                           progress, expected_of_sound_routes);
  result.warnings = warnings_.texts();
  return result;
}

std::set<std::string> Asic::get_mroutes() const {
  return check::mroute_keys(mroutes);
}

std::string Asic::_dump_one_mroute(const Hmroute& mroute) const {
  return check::dump_one_mroute(mroute, replication_groups);
}

void Asic::dump_mroutes(const std::vector<std::string>& filter_mroutes) const {
  dump_mroutes(filter_mroutes, std::cout);
}

void Asic::dump_mroutes(const std::vector<std::string>& filter_mroutes, std::ostream& out) const {
  check::dump_mroutes(mroutes, replication_groups, filter_mroutes, out);
}

std::string Asic::str() const {
  return check::mroutes_text(mroutes, replication_groups);
}

}  // namespace grpaudit

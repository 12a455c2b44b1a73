// Comparing one kernel multicast route with the ASIC's.

#include <algorithm>
#include <vector>

#include "grpaudit/asic/asic.h"
#include "grpaudit/util/text.h"

namespace grpaudit {
namespace {

// The port part of a replication identity: the text before the first ".".
std::string port_part(const std::string& identity) {
  return identity.substr(0, identity.find('.'));
}

// Whether `a` holds an identity that `b` lacks; both sorted and unique (in
// byte-wise order, which is also a std::set<std::string>'s).
template <typename A, typename B>
bool has_difference(const A& a, const B& b) {
  return !std::includes(b.begin(), b.end(), a.begin(), a.end(), util::bytes_less);
}

}  // namespace

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
                                            MrouteChecker& ul_mcast, Hmroute* hw_route) {
  const auto [vrf, src, grp] = _key_to_sip_dip(key);
  (void)vrf;

  const bool from_zero_source = src && *src == "0.0.0.0";
  if (std::find(ORIG_DEV.begin(), ORIG_DEV.end(), iif) != ORIG_DEV.end() && !from_zero_source) {
    if (oil.empty()) return {MrouteOutcome::kOriginated, true, std::nullopt};
    return {MrouteOutcome::kOriginated, ul_mcast.check_orig_mroute(*this, src, grp), std::nullopt};
  }
  if (std::find(oil.begin(), oil.end(), TERM_DEV) != oil.end() && from_zero_source) {
    return {MrouteOutcome::kTerminated, ul_mcast.check_term_mroute(src, grp), std::nullopt};
  }

  if (hw_route == nullptr) return {MrouteOutcome::kNotInHardware, true, std::nullopt};
  Hmroute& hmroute = *hw_route;
  // A key of the route-key form always yields a group.
  const std::string group = grp.value_or("");

  MrouteExpectation expected;
  // _kern_base_dev_kind_get(iif), held by reference: the names are not copied.
  // Every interface of the route is asked about below, one after another,
  // and then the route's replication group: each is asked from memory ahead,
  // so that the lookups do not each wait for it in turn. The IIF first: it
  // is asked first.
  if (audit_indexes_ != nullptr) audit_indexes_->prefetch(hmroute.grp, false);
  kernel_.prefetch_base_dev(iif, false);
  for (const auto& oif : oil) kernel_.prefetch_base_dev(oif, false);
  kernel_.prefetch_base_dev(iif, true);
  for (const auto& oif : oil) kernel_.prefetch_base_dev(oif, true);
  if (audit_indexes_ != nullptr) audit_indexes_->prefetch(hmroute.grp, true);
  const kern::BaseDev& iif_base = kernel_.base_dev(iif);
  const std::string& kind = *iif_base.kind;
  const std::string& new_iif = iif_base.dev;
  const std::int64_t iif_vlan = iif_base.own_vlan ? iif_base.vlan : -1;
  tmp_encaps.clear();
  // _expand_kern_dev(group, iif), whose own resolution of the IIF would find
  // every answer just cached.
  expand_base_dev(group, kind, new_iif, iif_vlan);
  if (kind == "bridge") {
    for (const auto& identity : tmp_encaps)
      expected.l2.insert(expected.l2.end(), port_part(identity));
  }
  // The smallest identity, so that results are reproducible.
  std::string first_member;
  if (!tmp_encaps.empty()) first_member = tmp_encaps.extract(tmp_encaps.begin()).value();

  const std::int64_t kern_iif_vlan = _kern_iif_to_hw_vlan(kind, new_iif, iif_vlan, first_member);
  expected.iif = _hw_vlan_to_iif(kern_iif_vlan);
  if (expected.iif != hmroute.iif) {
    hmroute.iif_mismatch.push_back("kernel IIF does not match hw IIF");
  }

  // The last OIF expanded leaves its identities in tmp_encaps; those of the
  // others are moved over rather than copied.
  std::size_t last = oil.size();
  for (std::size_t i = oil.size(); i-- > 0;) {
    if (oil[i] != iif) {
      last = i;
      break;
    }
  }
  for (std::size_t i = 0; i < oil.size(); ++i) {
    const std::string& oif = oil[i];
    if (oif == iif) continue;
    tmp_encaps.clear();
    _expand_kern_dev(group, oif);
    if (i == last) {
      expected.l3.insert(tmp_encaps.begin(), tmp_encaps.end());
    } else {
      expected.l3.merge(tmp_encaps);
    }
  }

  const auto compare = [&](const auto& hw_l3, const auto& hw_l2) {
    if (has_difference(hw_l3, expected.l3)) {
      hmroute.oil_mismatch.push_back("hw has OIFs not in the kernel");
    }
    if (has_difference(expected.l3, hw_l3)) {
      hmroute.oil_mismatch.push_back("kernel has OIFs not in the hw");
    }
    if (has_difference(hw_l2, expected.l2)) {
      hmroute.oil_mismatch.push_back("hw has L2-OIFs not in the kernel");
    }
    if (has_difference(expected.l2, hw_l2)) {
      hmroute.oil_mismatch.push_back("kernel has L2-OIFs not in the hw");
    }
  };
  if (audit_indexes_ != nullptr) {
    const auto ids = audit_indexes_->identities(hmroute.grp);
    compare(ids ? ids->l3 : util::TextRun(), ids ? ids->l2 : util::TextRun());
  } else {
    // Kept from route to route: the comparison runs on one thread.
    static thread_local std::vector<std::string> hw_l3;
    static thread_local std::vector<std::string> hw_l2;
    if (const auto g = replication_groups.find(hmroute.grp); g != replication_groups.end()) {
      sorted_identities(g->second.l3_encaps, hw_l3);
      sorted_identities(g->second.l2_encaps, hw_l2);
    } else {
      hw_l3.clear();
      hw_l2.clear();
    }
    compare(hw_l3, hw_l2);
  }

  const bool equal = hmroute.iif_mismatch.empty() && hmroute.oil_mismatch.empty();
  return {MrouteOutcome::kCompared, equal, std::move(expected)};
}

}  // namespace grpaudit

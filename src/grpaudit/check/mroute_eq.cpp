// Comparing one kernel multicast route with the ASIC's.

#include <algorithm>
#include <vector>

#include "grpaudit/check/comparison.h"
#include "grpaudit/records/route_key.h"
#include "grpaudit/util/text.h"

namespace grpaudit::check {
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

MrouteComparison Comparison::compare(const std::string& key, const std::string& iif,
                                     const std::vector<std::string>& oil, MrouteChecker& ul_mcast,
                                     Hmroute* hw_route, const AuditIndex* index,
                                     bool expected_when_equal, bool expected_as_ids) {
  const auto [vrf, src, grp] = split_route_key(key);
  (void)vrf;

  const bool from_zero_source = src && *src == "0.0.0.0";
  if (std::find(s_.orig_dev.begin(), s_.orig_dev.end(), iif) != s_.orig_dev.end() &&
      !from_zero_source) {
    if (oil.empty()) return {MrouteOutcome::kOriginated, true, std::nullopt, std::nullopt};
    return {MrouteOutcome::kOriginated, ul_mcast.check_orig_mroute(s_.asic, src, grp), std::nullopt,
            std::nullopt};
  }
  if (std::find(oil.begin(), oil.end(), s_.term_dev) != oil.end() && from_zero_source) {
    return {MrouteOutcome::kTerminated, ul_mcast.check_term_mroute(src, grp), std::nullopt,
            std::nullopt};
  }

  if (hw_route == nullptr) return {MrouteOutcome::kNotInHardware, true, std::nullopt, std::nullopt};
  Hmroute& hmroute = *hw_route;
  // A key of the route-key form always yields a group.
  const std::string group = grp.value_or("");
  if (index != nullptr) {
    return compare_interned(iif, oil, hmroute, group, *index, expected_when_equal, expected_as_ids);
  }

  MrouteExpectation expected;
  // base_dev_kind_get(iif).
  const kern::BaseDev iif_base = s_.kernel.base_dev(iif);
  const std::string& kind = *iif_base.kind;
  const std::string& new_iif = iif_base.dev;
  const std::int64_t iif_vlan = iif_base.own_vlan ? iif_base.vlan : -1;
  s_.tmp_encaps.clear();
  // expand_kern_dev(group, iif), whose own resolution of the IIF would find
  // every answer just cached.
  expand_base_dev(group, kind, new_iif, iif_vlan, nullptr);
  if (kind == "bridge") {
    for (const auto& identity : s_.tmp_encaps)
      expected.l2.insert(expected.l2.end(), port_part(identity));
  }
  // The smallest identity, so that results are reproducible.
  std::string first_member;
  if (!s_.tmp_encaps.empty()) first_member = s_.tmp_encaps.extract(s_.tmp_encaps.begin()).value();

  const std::int64_t kern_iif_vlan =
      s_.port_vlans.kern_iif_to_hw_vlan(kind, iif_vlan, first_member);
  expected.iif = s_.hw_vlan_to_iif(kern_iif_vlan);
  if (expected.iif != hmroute.iif) {
    hmroute.iif_mismatch.push_back("kernel IIF does not match hw IIF");
  }

  // The last OIF expanded leaves its identities in s_.tmp_encaps; those of the
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
    s_.tmp_encaps.clear();
    expand_kern_dev(group, oif, -1);
    if (i == last) {
      expected.l3.insert(s_.tmp_encaps.begin(), s_.tmp_encaps.end());
    } else {
      expected.l3.merge(s_.tmp_encaps);
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
  const auto& groups = s_.replication_groups;
  if (const auto g = groups.find(hmroute.grp); g != groups.end()) {
    sorted_identities(g->second.l3_encaps, hw_l3_);
    sorted_identities(g->second.l2_encaps, hw_l2_);
  } else {
    hw_l3_.clear();
    hw_l2_.clear();
  }
  compare(hw_l3_, hw_l2_);

  const bool equal = hmroute.iif_mismatch.empty() && hmroute.oil_mismatch.empty();
  return {MrouteOutcome::kCompared, equal, std::move(expected), std::nullopt};
}

// An expansion's answer depends on the interface and, for a bridge, on the
// entry of its multicast database that the group finds (the members of a
// group it lists, else those a miss floods to: the same for every group that
// has none); a bond's is read from the kernel each time, so it is worked out
// each time.
const AuditIndex::Expansion& Comparison::expansion(const std::string& dev, bool incoming,
                                                   const std::string& group,
                                                   const AuditIndex& index) {
  const kern::BaseDev& base = index.base_dev(dev, s_.kernel);
  const std::string& kind = *base.kind;
  const std::int64_t vlan = base.own_vlan ? base.vlan : -1;
  const bool kept = kind != "bond";
  if (kept) {
    key_.assign(incoming ? "i " : "o ").append(dev);
    if (kind == "bridge") {
      // Asked as expand_base_dev asks it; the kernel caches keep the answers
      // (and what it read to give them) for the expansion that may follow.
      const std::int64_t vlan_filtering = s_.kernel.dev_vlan_filtering_get(base.dev);
      const KernMdbEntry* entry = s_.kernel.dev_get_mdb_entry(
          base.dev, vlan_filtering != 0 ? vlan : -1, group_mac_of(group));
      // The entry's place in the cache, which does not change while the
      // index lives, stands for the entry.
      key_.append(1, '\n').append(reinterpret_cast<const char*>(&entry), sizeof entry);
    }
    if (const AuditIndex::Expansion* known = index.expansion(key_)) return *known;
  }
  s_.tmp_encaps.clear();
  expand_base_dev(group, kind, base.dev, vlan, &index);
  AuditIndex::Expansion x;
  x.ids.reserve(s_.tmp_encaps.size());
  for (const auto& identity : s_.tmp_encaps) x.ids.push_back(index.intern(identity));
  std::sort(x.ids.begin(), x.ids.end());
  if (incoming) {
    if (kind == "bridge") {
      for (const auto& identity : s_.tmp_encaps) x.l2.push_back(index.intern(port_part(identity)));
      std::sort(x.l2.begin(), x.l2.end());
      x.l2.erase(std::unique(x.l2.begin(), x.l2.end()), x.l2.end());
    }
    // The smallest identity, so that results are reproducible.
    if (!s_.tmp_encaps.empty()) x.first = *s_.tmp_encaps.begin();
    x.iif = index.riot(s_.port_vlans.kern_iif_to_hw_vlan(kind, vlan, x.first), s_.hw_vlan_to_iif);
  }
  if (!kept) {
    unkept_ = std::move(x);
    return unkept_;
  }
  return index.remember(key_, std::move(x));
}

MrouteComparison Comparison::compare_interned(const std::string& iif,
                                              const std::vector<std::string>& oil, Hmroute& hmroute,
                                              const std::string& group, const AuditIndex& index,
                                              bool expected_when_equal, bool expected_as_ids) {
  const AuditIndex::Expansion& in = expansion(iif, true, group, index);
  const std::optional<std::int64_t> kern_iif = in.iif;
  const AuditIndex::Ids in_l2 = in.l2;
  if (kern_iif != hmroute.iif) hmroute.iif_mismatch.push_back("kernel IIF does not match hw IIF");

  l3_.clear();
  for (const auto& oif : oil) {
    if (oif == iif) continue;
    const AuditIndex::Ids& ids = expansion(oif, false, group, index).ids;
    merged_.clear();
    std::set_union(l3_.begin(), l3_.end(), ids.begin(), ids.end(), std::back_inserter(merged_));
    l3_.swap(merged_);
  }

  static const AuditIndex::Ids kNone;
  const AuditIndex::GroupIds* hw = index.group_ids(hmroute.grp);
  const AuditIndex::Ids& hw_l3 = hw != nullptr ? hw->l3 : kNone;
  const AuditIndex::Ids& hw_l2 = hw != nullptr ? hw->l2 : kNone;
  const auto missing_from = [](const AuditIndex::Ids& a, const AuditIndex::Ids& b) {
    return !std::includes(b.begin(), b.end(), a.begin(), a.end());
  };
  if (missing_from(hw_l3, l3_)) hmroute.oil_mismatch.push_back("hw has OIFs not in the kernel");
  if (missing_from(l3_, hw_l3)) hmroute.oil_mismatch.push_back("kernel has OIFs not in the hw");
  if (missing_from(hw_l2, in_l2)) {
    hmroute.oil_mismatch.push_back("hw has L2-OIFs not in the kernel");
  }
  if (missing_from(in_l2, hw_l2)) {
    hmroute.oil_mismatch.push_back("kernel has L2-OIFs not in the hw");
  }

  const bool equal = hmroute.iif_mismatch.empty() && hmroute.oil_mismatch.empty();
  if (equal && !expected_when_equal)
    return {MrouteOutcome::kCompared, equal, std::nullopt, std::nullopt};
  if (expected_as_ids) {
    return {MrouteOutcome::kCompared, equal, std::nullopt,
            InternedExpectation{kern_iif, l3_, in_l2}};
  }
  MrouteExpectation expected;
  expected.iif = kern_iif;
  for (const std::uint32_t id : l3_) expected.l3.insert(index.text(id));
  for (const std::uint32_t id : in_l2) expected.l2.insert(index.text(id));
  return {MrouteOutcome::kCompared, equal, std::move(expected), std::nullopt};
}

}  // namespace grpaudit::check

#include "grpaudit/check/confirm.h"

#include <algorithm>
#include <iterator>
#include <unordered_map>
#include <utility>

namespace grpaudit::check {
namespace {

std::vector<std::string> messages_of(const RouteResult& r) {
  std::vector<std::string> out;
  if (r.hardware == nullptr) return out;
  out = r.hardware->iif_mismatch;
  out.insert(out.end(), r.hardware->oil_mismatch.begin(), r.hardware->oil_mismatch.end());
  return out;
}

// Renumbers `r`'s expectation from `from` to the merged table `to`: both in
// byte-wise order, so each list stays ascending.
void renumber(RouteResult& r, const std::vector<std::string>& from,
              const std::vector<std::string>& to) {
  if (!r.expected) return;
  for (auto* ids : {&r.expected->l3, &r.expected->l2}) {
    for (std::uint32_t& id : *ids) {
      id =
          static_cast<std::uint32_t>(std::lower_bound(to.begin(), to.end(), from[id]) - to.begin());
    }
  }
}

}  // namespace

std::vector<std::string> faulty_keys(const AuditResult& result) {
  std::vector<std::string> keys;
  for (const RouteResult& r : result.routes) {
    if (is_fault(r.status)) keys.emplace_back(r.key);
  }
  return keys;
}

void confirm(AuditResult& first, AuditResult&& second) {
  std::vector<std::string> identities;
  std::set_union(first.identities.begin(), first.identities.end(), second.identities.begin(),
                 second.identities.end(), std::back_inserter(identities));
  for (RouteResult& r : first.routes) renumber(r, first.identities, identities);
  for (RouteResult& r : second.routes) renumber(r, second.identities, identities);

  std::unordered_map<std::string_view, RouteResult*> again;
  for (RouteResult& r : second.routes) again.emplace(r.key, &r);
  for (RouteResult& r : first.routes) {
    if (!is_fault(r.status)) continue;
    const auto it = again.find(r.key);
    if (it == again.end()) continue;  // not read again: stays as it was
    RouteResult& now = *it->second;
    if (!is_fault(now.status)) {
      now.first = std::make_unique<FirstRead>(FirstRead{r.status, messages_of(r)});
      now.status = Status::kTransient;
    }
    // The key of an absent route points into `second`'s absent keys, which
    // move over below with their nodes.
    r = std::move(now);
  }
  first.absent_keys.merge(second.absent_keys);
  first.identities = std::move(identities);
  first.counts.clear();
  for (const Status s : kAllStatuses) first.counts[s] = 0;
  first.counts[Status::kAbsent] = 0;
  for (const RouteResult& r : first.routes) ++first.counts[r.status];
  for (auto& w : second.warnings) {
    if (std::find(first.warnings.begin(), first.warnings.end(), w) == first.warnings.end())
      first.warnings.push_back(std::move(w));
  }
}

}  // namespace grpaudit::check

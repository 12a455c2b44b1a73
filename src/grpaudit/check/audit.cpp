#include "grpaudit/check/audit.h"

#include <algorithm>
#include <numeric>
#include <set>

namespace grpaudit::check {
namespace {

Status status_of(const MrouteComparison& cmp) {
  switch (cmp.outcome) {
    case MrouteOutcome::kOriginated:
      return Status::kOriginated;
    case MrouteOutcome::kTerminated:
      return Status::kTerminated;
    case MrouteOutcome::kNotInHardware:
      return Status::kMissingInHw;
    case MrouteOutcome::kCompared:
      break;
  }
  return cmp.equal ? Status::kOk : Status::kMismatch;
}

}  // namespace

std::string_view status_name(Status s) {
  switch (s) {
    case Status::kOk:
      return "ok";
    case Status::kMismatch:
      return "mismatch";
    case Status::kMissingInHw:
      return "missing-in-hw";
    case Status::kMissingInKernel:
      return "missing-in-kernel";
    case Status::kOriginated:
      return "originated";
    case Status::kTerminated:
      return "terminated";
    case Status::kAbsent:
      return "absent";
    case Status::kUnresolved:
      return "unresolved";
    case Status::kTransient:
      return "transient";
  }
  return "?";
}

bool is_fault(Status s) {
  return s == Status::kMismatch || s == Status::kMissingInHw || s == Status::kMissingInKernel;
}

std::size_t AuditResult::faults() const {
  std::size_t n = 0;
  for (const auto& [status, count] : counts) {
    if (is_fault(status)) n += count;
  }
  return n;
}

namespace {

// Renumbers the identities of `result`'s expectations, numbered as `texts`,
// so that ascending numbers are byte-wise ascending texts, which become the
// result's identities.
void number_in_byte_order(std::vector<std::string> texts, AuditResult& result) {
  std::vector<std::uint32_t> by_text(texts.size());
  std::iota(by_text.begin(), by_text.end(), 0u);
  std::sort(by_text.begin(), by_text.end(),
            [&](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
  std::vector<std::uint32_t> rank(texts.size());
  result.identities.reserve(texts.size());
  for (std::uint32_t i = 0; i < by_text.size(); ++i) {
    rank[by_text[i]] = i;
    result.identities.push_back(std::move(texts[by_text[i]]));
  }
  for (RouteResult& r : result.routes) {
    if (!r.expected) continue;
    for (auto* ids : {&r.expected->l3, &r.expected->l2}) {
      for (std::uint32_t& id : *ids) id = rank[id];
      std::sort(ids->begin(), ids->end());
    }
  }
}

}  // namespace

AuditResult audit(Comparison& comparison, std::map<std::string, Hmroute>& mroutes,
                  const std::map<std::int64_t, ReplicationGroup>& groups,
                  const std::map<std::string, kern::KernelRoute>& kernel,
                  const std::vector<std::string>& keys, const AuditProgress& progress,
                  bool expected_of_sound_routes) {
  AuditResult result;
  // The keys in byte-wise order, each once.
  std::vector<const std::string*> selected;
  std::set<std::string> named;
  if (keys.empty()) {
    // Both tables are in key order: merge them.
    auto k = kernel.begin();
    auto h = mroutes.begin();
    while (k != kernel.end() || h != mroutes.end()) {
      if (h == mroutes.end() || (k != kernel.end() && k->first < h->first)) {
        selected.push_back(&(k++)->first);
      } else if (k == kernel.end() || h->first < k->first) {
        selected.push_back(&(h++)->first);
      } else {
        selected.push_back(&k->first);
        ++k;
        ++h;
      }
    }
  } else {
    // The results point at the tables' own keys, and a key that names a
    // route on neither side at the result's copy.
    for (const auto& key : keys) named.insert(key);
    for (const auto& key : named) {
      if (const auto k = kernel.find(key); k != kernel.end()) {
        selected.push_back(&k->first);
      } else if (const auto h = mroutes.find(key); h != mroutes.end()) {
        selected.push_back(&h->first);
      } else {
        selected.push_back(&*result.absent_keys.insert(key).first);
      }
    }
  }

  for (const Status s : kAllStatuses) result.counts[s] = 0;
  result.counts[Status::kAbsent] = 0;
  AcceptingChecker checker;
  // Nothing below changes the replication groups, and the kernel's VLAN
  // listing and the RIOT answers only through their own readers.
  // Routes share groups and interfaces: what they ask of them is worked out
  // once, in the index.
  AuditIndex index(groups);
  // And every route asks about ports and VLANs of tables that do not change.
  const xlate::PortVlans::Indexed lookups(comparison.port_vlans());
  std::size_t done = 0;
  result.routes.reserve(selected.size());
  // The keys come in order, so both tables are walked alongside, not searched.
  auto k = kernel.begin();
  auto h = mroutes.begin();
  for (const std::string* selected_key : selected) {
    const std::string& key = *selected_key;
    RouteResult r;
    r.key = key;
    while (k != kernel.end() && k->first < key) ++k;
    while (h != mroutes.end() && h->first < key) ++h;
    if (k != kernel.end() && k->first == key) r.kernel = &k->second;
    Hmroute* hw_route = h != mroutes.end() && h->first == key ? &h->second : nullptr;
    r.hardware = hw_route;
    r.groups = &groups;
    // The messages are this audit's: an Asic audited again must not show
    // the last audit's twice.
    if (hw_route != nullptr) {
      hw_route->iif_mismatch.clear();
      hw_route->oil_mismatch.clear();
    }

    if (r.kernel == nullptr && hw_route == nullptr) {
      r.status = Status::kAbsent;
    } else if (r.kernel == nullptr) {
      r.status = Status::kMissingInKernel;
    } else if (r.kernel->state == "unresolved") {
      r.status = Status::kUnresolved;
    } else {
      auto cmp = comparison.compare(key, r.kernel->iif, r.kernel->oil, checker, hw_route, &index,
                                    expected_of_sound_routes, /*expected_as_ids=*/true);
      r.status = status_of(cmp);
      if (cmp.expected_ids && (expected_of_sound_routes || is_fault(r.status))) {
        r.expected = std::make_unique<Expected>(Expected{cmp.expected_ids->iif,
                                                         std::move(cmp.expected_ids->l3),
                                                         std::move(cmp.expected_ids->l2)});
      }
    }
    ++result.counts[r.status];
    result.routes.push_back(std::move(r));
    if (progress) progress(++done, selected.size());
  }
  number_in_byte_order(index.take_texts(), result);
  return result;
}

std::vector<std::pair<Status, std::size_t>> AuditResult::summary() const {
  const auto count = [this](Status s) {
    const auto it = counts.find(s);
    return it == counts.end() ? std::size_t{0} : it->second;
  };
  std::vector<std::pair<Status, std::size_t>> out;
  for (const Status s : kAllStatuses) out.emplace_back(s, count(s));
  // A key asked for that no side has, a fault a second read did not
  // confirm: listed only where a route has them.
  for (const Status s : {Status::kAbsent, Status::kTransient}) {
    if (count(s) > 0) out.emplace_back(s, count(s));
  }
  return out;
}

void hardware_identities(const RouteResult& route, std::vector<std::string>& l3,
                         std::vector<std::string>& l2) {
  l3.clear();
  l2.clear();
  if (route.hardware == nullptr || route.groups == nullptr) return;
  const auto g = route.groups->find(route.hardware->grp);
  if (g == route.groups->end()) return;
  sorted_identities(g->second.l3_encaps, l3);
  sorted_identities(g->second.l2_encaps, l2);
}

MrouteExpectation AuditResult::expectation(const RouteResult& route) const {
  MrouteExpectation out;
  if (!route.expected) return out;
  out.iif = route.expected->iif;
  for (const std::uint32_t id : route.expected->l3) out.l3.insert(out.l3.end(), identities[id]);
  for (const std::uint32_t id : route.expected->l2) out.l2.insert(out.l2.end(), identities[id]);
  return out;
}

}  // namespace grpaudit::check

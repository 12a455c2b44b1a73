#include "grpaudit/check/audit.h"

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
    case Status::kUnresolved:
      return "unresolved";
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

AuditResult audit(Comparison& comparison, std::map<std::string, Hmroute>& mroutes,
                  const std::map<std::int64_t, ReplicationGroup>& groups,
                  const std::map<std::string, kern::KernelRoute>& kernel,
                  const std::vector<std::string>& keys, const AuditProgress& progress,
                  bool expected_of_sound_routes) {
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
    // A key that names a route on neither side has nothing to report. The
    // results point at the tables' own keys.
    for (const auto& key : keys) named.insert(key);
    for (const auto& key : named) {
      if (const auto k = kernel.find(key); k != kernel.end()) {
        selected.push_back(&k->first);
      } else if (const auto h = mroutes.find(key); h != mroutes.end()) {
        selected.push_back(&h->first);
      }
    }
  }

  AuditResult result;
  for (const Status s : kAllStatuses) result.counts[s] = 0;
  AcceptingChecker checker;
  // Nothing below changes the replication groups, and the kernel's VLAN
  // listing and the RIOT answers only through their own readers.
  // Routes share groups and interfaces: what they ask of them is worked out
  // once, in the index.
  const AuditIndex index(groups);
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

    if (r.kernel == nullptr) {
      r.status = Status::kMissingInKernel;
    } else if (r.kernel->state == "unresolved") {
      r.status = Status::kUnresolved;
    } else {
      auto cmp = comparison.compare(key, r.kernel->iif, r.kernel->oil, checker, hw_route, &index,
                                    expected_of_sound_routes);
      r.status = status_of(cmp);
      if (cmp.expected && (expected_of_sound_routes || is_fault(r.status)))
        r.expected = std::make_unique<const MrouteExpectation>(std::move(*cmp.expected));
    }
    ++result.counts[r.status];
    result.routes.push_back(std::move(r));
    if (progress) progress(++done, selected.size());
  }
  return result;
}

}  // namespace grpaudit::check

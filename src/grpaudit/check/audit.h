#pragma once
// Auditing a switch, as a library call: every route of the kernel and of the
// ASIC gets exactly one status, the first that applies (unresolved,
// originated, terminated, missing-in-hw, ok or mismatch, missing-in-kernel).
//
//   Asic asic(platform, use_mem_table);
//   const auto kernel = kern::read_kernel_routes(*platform.host, &asic.warnings());
//   const check::AuditResult result = asic.audit(kernel, {});
//
// Asic::audit runs the audit below over its own parts and tables, and adds
// the warnings of the Asic (pass asic.warnings() to read_kernel_routes for the
// route listing's).
// The result holds, per route in byte-wise order of key, its status, both
// sides (the hardware route carries the mismatch messages that the
// comparison recorded) and what the kernel side expands to; and the count of
// every status. Printing it is the caller's affair.

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "grpaudit/check/comparison.h"
#include "grpaudit/kern/kernel_routes.h"

namespace grpaudit::check {

// The audit's verdict on routes the switch originates or terminates: they
// are not the ASIC's to forward, so they are accepted as they are.
class AcceptingChecker : public MrouteChecker {
 public:
  bool check_orig_mroute(Asic&, const std::optional<std::string>&,
                         const std::optional<std::string>&) override {
    return true;
  }
  bool check_term_mroute(const std::optional<std::string>&,
                         const std::optional<std::string>&) override {
    return true;
  }
};

enum class Status {
  kOk,
  kMismatch,
  kMissingInHw,
  kMissingInKernel,
  kOriginated,
  kTerminated,
  kUnresolved,
  // A key asked for that names a route on neither side: no fault, but shown,
  // so that a mistyped key does not pass for a sound route.
  kAbsent,
  // A fault of a first read that a second read found sound (confirm.h): the
  // route churned between the kernel and the ASIC. No fault.
  kTransient
};

// Every status in the order the summary lists them; after them, kAbsent
// where a key was absent.
inline constexpr std::array<Status, 7> kAllStatuses{
    Status::kOk,         Status::kMismatch,   Status::kMissingInHw, Status::kMissingInKernel,
    Status::kOriginated, Status::kTerminated, Status::kUnresolved};

std::string_view status_name(Status s);
bool is_fault(Status s);

// What the kernel side of a compared route expands to, as numbers of the
// result's `identities`: each list ascending, which is byte-wise order of
// the texts.
struct Expected {
  std::optional<std::int64_t> iif;  // the L3 IIF derived from the kernel IIF
  std::vector<std::uint32_t> l3;    // routed replication identities
  std::vector<std::uint32_t> l2;    // bridged replication identities
};

// A large switch has a result for each of hundreds of thousands of routes,
// so a result is small: its key points into the route tables, and what the
// kernel expected is kept apart, where it is kept at all.
// What a first read said of a route that a later read found sound.
struct FirstRead {
  Status status;
  std::vector<std::string> messages;
};

struct RouteResult {
  std::string_view key;  // a key of the kernel's or the ASIC's table
  Status status = Status::kOk;
  const kern::KernelRoute* kernel = nullptr;  // null when the kernel has no such route
  const Hmroute* hardware = nullptr;          // null when the ASIC has no such route
  // The replication groups of the read the hardware route comes from (the
  // audit sets it for every route).
  const std::map<std::int64_t, ReplicationGroup>* groups = nullptr;
  std::unique_ptr<Expected> expected;  // compared routes only
  std::unique_ptr<FirstRead> first;    // transient routes only
};

struct AuditResult {
  std::vector<RouteResult> routes;  // in byte-wise order of key
  std::map<Status, std::size_t> counts;
  // The replication identities that expectations name, in byte-wise order.
  std::vector<std::string> identities;
  // The keys of absent routes, which their results' keys point into.
  std::set<std::string> absent_keys;
  // What the run's readers tolerated (util/warnings.h), in the order met:
  // the result may rest on less than the switch holds.
  std::vector<std::string> warnings;
  std::size_t faults() const;
  // The statuses a report's summary lists, with their counts: every status
  // in kAllStatuses' order, then those shown only when a route has them
  // (absent, transient).
  std::vector<std::pair<Status, std::size_t>> summary() const;
  // What `route` expected, as texts (as the comparison of one route gives it).
  MrouteExpectation expectation(const RouteResult& route) const;
};

// The replication identities of the group of `route`'s hardware side,
// sorted byte-wise, into `l3` and `l2` (whose strings are reused); both
// empty when the route has no hardware side or its group is missing.
void hardware_identities(const RouteResult& route, std::vector<std::string>& l3,
                         std::vector<std::string>& l2);

// Called after each route with the number done and the total.
using AuditProgress = std::function<void(std::size_t, std::size_t)>;

// Compares the routes of `kernel` and of the hardware (`mroutes`, with their
// replication `groups`) through `comparison`, only those named by `keys`
// when it is not empty. The results point into `kernel` and `mroutes`.
// Without `expected_of_sound_routes` only faulty routes keep what the kernel
// expected (all a text report shows): on a large switch the rest is tens of
// megabytes.
AuditResult audit(Comparison& comparison, std::map<std::string, Hmroute>& mroutes,
                  const std::map<std::int64_t, ReplicationGroup>& groups,
                  const std::map<std::string, kern::KernelRoute>& kernel,
                  const std::vector<std::string>& keys, const AuditProgress& progress = {},
                  bool expected_of_sound_routes = true);

}  // namespace grpaudit::check

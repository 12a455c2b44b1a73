#pragma once
// Confirming faults by reading the switch again: routes churn, and the
// kernel may hold a new route a moment before the ASIC does. A fault that a
// second read finds sound was such a moment, not a fault.
//
//   AuditResult first = asic.audit(kernel, {});
//   ... wait, construct a second Asic, read the kernel's routes again ...
//   AuditResult second = asic2.audit(kernel2, faulty_keys(first));
//   confirm(first, std::move(second));

#include <string>
#include <vector>

#include "grpaudit/check/audit.h"

namespace grpaudit::check {

// The keys of the faulty routes of `result`, in its order.
std::vector<std::string> faulty_keys(const AuditResult& result);

// Replaces each faulty route of `first` by what `second` (an audit of those
// keys on a second read) says of it: a route still faulty takes its second
// status and sides; one that is sound now takes the status kTransient, the
// second read's sides, and in `first` the first read's status and messages.
// The merged result points into both reads' tables, which the caller keeps;
// its identities, counts and warnings cover both.
void confirm(AuditResult& first, AuditResult&& second);

}  // namespace grpaudit::check

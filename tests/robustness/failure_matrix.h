#pragma once
// The bad-input matrix: every failure the readers document, fed through a
// replayed switch, with the exact error kind and text it must end in and what
// it must leave behind.

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "grpaudit/asic/asic.h"
#include "support/fake_switch.h"

namespace grpaudit::testing {

enum class Kind { kNone, kRuntime, kValue, kLookup, kJson, kOs, kOther };

struct Outcome {
  Kind kind = Kind::kNone;
  std::string text;
  friend bool operator==(const Outcome&, const Outcome&) = default;
};
std::ostream& operator<<(std::ostream& os, const Outcome& o);

// How `f` ended: the kind of the error it threw and its text.
Outcome outcome_of(const std::function<void()>& f);

// One failure row.
struct FailureRow {
  const char* row;                         // the failure, as its reader documents it
  std::function<void(FakeSwitch&)> input;  // what the switch answers
  // The step that meets the input, run on an object built without it; for a
  // construction step, it redoes that step as construction does it.
  std::function<void(Asic&)> step;
  Outcome expected;
  // What the step leaves behind.
  std::function<void(Asic&)> after = nullptr;
  // The step is part of construction: building on the input must end the same.
  bool in_construction = false;
  bool mem_table = false;
};

// A switch every row starts from: FakeSwitch with xe0 named swp1 and an
// empty L3 entry memory.
FakeSwitch base_switch();

// Checks one row: construction on the input (for construction steps), then
// the step on an object whose switch answers with the input from then on.
void check_row(const FailureRow& row);

// A host that forwards to `inner` except that reading `failing_path` fails
// as an unreadable file does, and the shell command reports failure.
std::shared_ptr<Host> with_unreadable(std::shared_ptr<Host> inner, std::string failing_path);

}  // namespace grpaudit::testing

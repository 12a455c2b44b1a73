#pragma once
// Where a run reads the switch from: a snapshot file, optionally traced.

#include <memory>
#include <string>

#include "grpaudit/asic/platform.h"

namespace grpaudit::cli {

struct SourceOptions {
  std::string snapshot;  // --snapshot FILE
  std::string trace;     // --trace FILE
};

// The platform for the options. Throws UsageError when no source is given,
// SnapshotError for a bad snapshot, std::system_error when the trace file
// cannot be written.
Platform open_source(const SourceOptions& opts);

}  // namespace grpaudit::cli

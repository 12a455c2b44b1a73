#include "source.h"

#include "grpaudit/asic/errors.h"
#include "grpaudit/platform/snapshot.h"
#include "grpaudit/platform/trace.h"

namespace grpaudit::cli {

Platform open_source(const SourceOptions& opts) {
  if (opts.snapshot.empty()) {
    throw UsageError("no source given: use --snapshot FILE to replay a recorded switch");
  }
  auto snap = std::make_shared<const platform::Snapshot>(platform::load_snapshot(opts.snapshot));
  Platform plat = platform::make_replay_platform(std::move(snap));
  if (!opts.trace.empty()) {
    plat = platform::with_trace(std::move(plat), std::make_shared<platform::TraceLog>(opts.trace));
  }
  return plat;
}

}  // namespace grpaudit::cli

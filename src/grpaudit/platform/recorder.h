#pragma once
// Recording a run: wraps a live platform and keeps every answer it gave, so
// that the snapshot it writes replays that run exactly.

#include <memory>
#include <optional>
#include <string>

#include "grpaudit/platform/platform.h"
#include "grpaudit/platform/replace_file.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::platform {

class Recorder {
 public:
  explicit Recorder(std::string description = "", std::optional<Recording> recorded = {});

  // `inner` with every component recording into this recorder. A missing
  // component stays missing.
  Platform wrap(Platform inner);

  // Everything recorded so far.
  const Snapshot& snapshot() const { return *snap_; }

 private:
  std::shared_ptr<Snapshot> snap_;
};

// Writes `snap` to `path` whole or not at all, as replace_file does.
void save_snapshot(const Snapshot& snap, const std::string& path);

}  // namespace grpaudit::platform

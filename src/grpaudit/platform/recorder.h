#pragma once
// Recording a run: wraps a live platform and keeps every answer it gave, so
// that the snapshot it writes replays that run exactly.

#include <memory>
#include <string>

#include "grpaudit/platform/platform.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::platform {

class Recorder {
 public:
  explicit Recorder(std::string description = "");

  // `inner` with every component recording into this recorder. A missing
  // component stays missing.
  Platform wrap(Platform inner);

  // Everything recorded so far.
  const Snapshot& snapshot() const { return *snap_; }

 private:
  std::shared_ptr<Snapshot> snap_;
};

// Writes `snap` to `path` atomically: a temporary file beside it, synced,
// then renamed over it, so an interrupted write never leaves half a file.
// Throws std::system_error.
void save_snapshot(const Snapshot& snap, const std::string& path);

}  // namespace grpaudit::platform

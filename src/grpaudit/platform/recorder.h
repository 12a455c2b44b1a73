#pragma once
// Recording a run: wraps a live platform and keeps every answer it gave, so
// that the snapshot it writes replays that run exactly.

#include <memory>
#include <optional>
#include <string>

#include "grpaudit/platform/platform.h"
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

// Writes `snap` to `path` through a temporary file beside the file it
// replaces and a rename, so that the file is whole or untouched. A link is
// followed: the file it names is replaced. An existing file keeps its mode; a
// new one is made 0644. Throws std::system_error when it cannot write, and
// std::runtime_error when `path` names something other than a regular file.
void save_snapshot(const Snapshot& snap, const std::string& path);

// `path` with every symbolic link followed, as far as the links exist.
// Throws std::system_error for a link that cannot be read or a loop.
std::string follow_links(const std::string& path);

}  // namespace grpaudit::platform

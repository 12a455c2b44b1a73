#pragma once
// Tracing: a record of every SDK shell and host interaction of a run, one
// JSON object per line, each written before the interaction is answered so a
// run that fails or crashes still leaves the attempt that broke it.

#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "grpaudit/platform/platform.h"

namespace grpaudit::platform {

class TraceLog {
 public:
  // Creates or truncates `path`; throws std::system_error when it cannot.
  explicit TraceLog(const std::string& path);
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  const std::string& path() const { return path_; }

  // Appends `json_line` (one JSON object without a line break) and flushes;
  // throws std::system_error when the file cannot take it.
  void write_line(std::string_view json_line);

 private:
  std::string path_;
  std::mutex mutex_;
  std::ofstream out_;
};

// `inner` with its SDK shells and host traced to `log`. The port table and
// the VRF database pass through untraced; a missing component stays missing.
Platform with_trace(Platform inner, std::shared_ptr<TraceLog> log);

}  // namespace grpaudit::platform

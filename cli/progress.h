#pragma once
// Progress on standard error while the long SDK reads and the comparison run;
// shown only when standard error is a terminal.

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <memory>
#include <string>

#include "grpaudit/platform/platform.h"

namespace grpaudit::cli {

class Progress {
 public:
  Progress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
  ~Progress() { clear(); }

  // Redraws at most every 50 ms unless `force`.
  void show(const std::string& text, bool force = false);
  void count(const char* what, std::size_t done, std::size_t total);
  void clear();

  // SDK shell commands and memory-table reads so far, shown or not.
  std::size_t sdk_commands() const { return sdk_commands_; }
  void sdk_asked(const std::string& what) {
    ++sdk_commands_;
    show("reading the ASIC: " + what);
  }

 private:
  std::size_t sdk_commands_ = 0;
  std::ostream& err_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// `inner` with every SDK shell command announced on `progress`.
Platform with_progress(Platform inner, std::shared_ptr<Progress> progress);

}  // namespace grpaudit::cli

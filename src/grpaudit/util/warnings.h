#pragma once
// Failures the library tolerates by documented fallbacks (a command whose
// failure reads as empty output, a file that exists but cannot be read, a
// copy whose VLAN is unknown). The run goes on, but what it reports rests on
// less than the switch holds: each is kept here, once, in the order met, for
// the caller to show.

#include <string>
#include <string_view>
#include <vector>

#include <absl/container/flat_hash_set.h>

namespace grpaudit::util {

class Warnings {
 public:
  // Keeps `text` unless it is already kept.
  void add(std::string text);
  // `argv` exited with `status` (negative: killed by that signal) and its
  // output was taken to be `fallback`.
  void command_fell_back(const std::vector<std::string>& argv, int status,
                         std::string_view fallback);

  const std::vector<std::string>& texts() const { return texts_; }
  bool empty() const { return texts_.empty(); }

 private:
  std::vector<std::string> texts_;
  absl::flat_hash_set<std::string> seen_;
};

}  // namespace grpaudit::util

#pragma once
// The two readers behind parse_snapshot and load_snapshot, apart, so that
// tests can hold them against each other.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "grpaudit/platform/snapshot.h"

namespace grpaudit::platform::detail {

// Reads every document of the format and words every error (SnapshotError).
Snapshot parse_snapshot_checked(std::string_view json_text, const std::string& name);

// The same snapshot as the checked reader, read much faster; none for any
// document that is not plainly well-formed, whatever the checked reader
// would make of it.
std::optional<Snapshot> parse_snapshot_fast(std::string_view json_text);

// load_replay_platform, leaving in the file every text of at least
// `texts_from` bytes that it can; also says how many it left.
struct ReplayLoad {
  Platform platform;
  std::size_t texts_in_file = 0;
};
ReplayLoad load_replay(const std::string& path, std::size_t texts_from);

}  // namespace grpaudit::platform::detail

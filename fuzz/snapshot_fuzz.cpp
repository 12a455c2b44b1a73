// The snapshot loader: a hand-edited file ends in a SnapshotError naming the
// place, and whatever loads writes back to a document that loads the same.
// The fast reader, where it answers at all, answers as the checked one.

#include "fuzz_support.h"
#include "grpaudit/platform/snapshot.h"
#include "grpaudit/platform/snapshot_parse.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  const std::string_view text = in.whole();
  const auto fast = platform::detail::parse_snapshot_fast(text);
  platform::Snapshot snap;
  if (!fuzz::documented({.snapshot = true},
                        [&] { snap = platform::detail::parse_snapshot_checked(text, "fuzz"); })) {
    if (fast) std::abort();  // the fast reader took a document the checked one refuses
    return 0;
  }
  if (fast && !(*fast == snap)) std::abort();
  const std::string again = platform::snapshot_to_json(snap);
  platform::Snapshot reloaded;
  fuzz::documented({}, [&] { reloaded = platform::parse_snapshot(again, "again"); });
  if (!(reloaded == snap)) std::abort();
  return 0;
}

// The snapshot loader: a hand-edited file ends in a SnapshotError naming the
// place, and whatever loads writes back to a document that loads the same.

#include "fuzz_support.h"
#include "grpaudit/platform/snapshot.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace grpaudit;
  const fuzz::Parts in(data, size);
  platform::Snapshot snap;
  if (!fuzz::documented({.snapshot = true},
                        [&] { snap = platform::parse_snapshot(in.whole(), "fuzz"); })) {
    return 0;
  }
  const std::string again = platform::snapshot_to_json(snap);
  platform::Snapshot reloaded;
  fuzz::documented({}, [&] { reloaded = platform::parse_snapshot(again, "again"); });
  if (!(reloaded == snap)) std::abort();
  return 0;
}

// The snapshot loader: a hand-edited file ends in a SnapshotError naming the
// place, and whatever loads writes back to a document that loads the same.
// The fast reader, where it answers at all, answers as the checked one; so
// does a replay that leaves the long texts in the file.

#include <sys/mman.h>
#include <unistd.h>

#include "fuzz_support.h"
#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot.h"
#include "grpaudit/platform/snapshot_parse.h"

namespace {

using namespace grpaudit;

// The error of `load`, or "" when it loads.
template <typename Load>
std::string error_of(Load&& load) {
  try {
    load();
  } catch (const SnapshotError& e) {
    return e.what();
  }
  return "";
}

// The document as a file, read by load_snapshot and by a replay that leaves
// every text of 8 bytes or more in the file: the same error, or the same
// answers.
void replay_from_file(std::string_view text) {
  const int fd = ::memfd_create("snapshot", MFD_CLOEXEC);
  if (fd < 0) return;
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    ::close(fd);
    return;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  platform::Snapshot want;
  const std::string error = error_of([&] { want = platform::load_snapshot(path); });
  platform::detail::ReplayLoad got;
  if (error_of([&] { got = platform::detail::load_replay(path, 8); }) != error) std::abort();
  if (error.empty()) {
    const auto shell = got.platform.sdk_shell(0);
    for (const auto& [cmd, out] : want.sdk_commands) {
      if (shell->run(cmd) != out || *shell->run_shared(cmd) != out) std::abort();
    }
    for (const auto& [file, out] : want.host_files) {
      if (got.platform.host->read_file(file) != out) std::abort();
    }
    for (const auto& [key, cmd] : want.host_commands) {
      // The key of a command is its words joined by blanks.
      std::vector<std::string> argv;
      std::size_t from = 0;
      for (std::size_t at; (at = key.find(' ', from)) != std::string::npos; from = at + 1)
        argv.push_back(key.substr(from, at - from));
      argv.push_back(key.substr(from));
      if (platform::host_command_key(argv) != key) continue;
      if (got.platform.host->run(argv).out != cmd.stdout_text ||
          *got.platform.host->run_shared(argv).out != cmd.stdout_text)
        std::abort();
    }
  }
  ::close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::Parts in(data, size);
  const std::string_view text = in.whole();
  replay_from_file(text);
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

// The snapshot loader: a hand-edited file ends in a SnapshotError naming the
// place, and whatever loads writes back to a document that loads the same.
// A file loads as the same text in memory, and its replay answers as the
// snapshot.

#include <sys/mman.h>
#include <unistd.h>

#include "fuzz_support.h"
#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/snapshot.h"

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

// The document as a file, read by load_snapshot and by the replay of the
// file: the error of the text in memory, or its answers.
void replay_from_file(std::string_view text) {
  const int fd = ::memfd_create("snapshot", MFD_CLOEXEC);
  if (fd < 0) return;
  if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    ::close(fd);
    return;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  platform::Snapshot want;
  const std::string error = error_of([&] { want = platform::parse_snapshot(text, path); });
  Platform got;
  if (error_of([&] { got = platform::load_replay_platform(path); }) != error) std::abort();
  if (error.empty()) {
    const auto shell = got.sdk_shell(0);
    for (const auto& [cmd, out] : want.sdk_commands) {
      if (shell->run(cmd) != out || *shell->run_shared(cmd) != out) std::abort();
    }
    for (const auto& [file, out] : want.host_files) {
      if (got.host->read_file(file) != out) std::abort();
    }
    for (const auto& [key, cmd] : want.host_commands) {
      // The key of a command is its words joined by blanks.
      std::vector<std::string> argv;
      std::size_t from = 0;
      for (std::size_t at; (at = key.find(' ', from)) != std::string::npos; from = at + 1)
        argv.push_back(key.substr(from, at - from));
      argv.push_back(key.substr(from));
      if (platform::host_command_key(argv) != key) continue;
      if (got.host->run(argv).out != cmd.stdout_text ||
          *got.host->run_shared(argv).out != cmd.stdout_text)
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
  platform::Snapshot snap;
  if (!fuzz::documented({.snapshot = true}, [&] { snap = platform::parse_snapshot(text, "fuzz"); }))
    return 0;
  const std::string again = platform::snapshot_to_json(snap);
  platform::Snapshot reloaded;
  fuzz::documented({}, [&] { reloaded = platform::parse_snapshot(again, "again"); });
  if (!(reloaded == snap)) std::abort();
  return 0;
}

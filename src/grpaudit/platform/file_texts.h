#pragma once
// Long texts of a snapshot left in its file. A large switch's snapshot is
// mostly a few listings, each read once by a check; holding them in memory
// for the whole run was a third of the check's memory at its peak. So the
// replay reads such a text from the file again each time it is asked for it,
// and refuses it when the file has been modified since it was loaded.

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "grpaudit/platform/platform.h"
#include "grpaudit/platform/snapshot.h"

namespace grpaudit::platform {

// Where a text stands in the file: a JSON string.
struct FileTextSpan {
  std::uint64_t offset = 0;  // of its opening quote
  std::size_t raw_size = 0;  // quotes and escapes included
  std::size_t size = 0;      // of the text it stands for
};

class FileTexts {
 public:
  // Takes `fd`, open on the file `path` (named in errors), and closes it when
  // destroyed. `loaded` is the file's state when the spans were found.
  FileTexts(std::string path, int fd, const struct stat& loaded);
  ~FileTexts();
  FileTexts(const FileTexts&) = delete;
  FileTexts& operator=(const FileTexts&) = delete;

  // `stored`, a text of the snapshot left empty, stands for the one at `span`.
  void add(const std::string& stored, FileTextSpan span);

  // Whether a file in state `now` still holds what it held in state `then`:
  // same file, size and time of last modification.
  static bool unchanged(const struct stat& then, const struct stat& now);

  // The text `stored` stands for, read from the file now; none when `stored`
  // is held in memory. Throws SnapshotError when the file has changed since
  // it was loaded or cannot be read.
  std::optional<std::string> read(const std::string& stored) const;

 private:
  [[noreturn]] void fail(const std::string& what) const;

  std::string path_;
  int fd_;
  struct stat loaded_ {};
  std::unordered_map<const std::string*, FileTextSpan> spans_;
};

// The replay of make_replay_platform(snap), with the texts of `texts` read
// from the file (`texts` may be null). Nothing may change `snap` while the
// platform lives: its commands and table rows are found through indexes
// made once.
Platform make_replay_platform(std::shared_ptr<const Snapshot> snap,
                              std::shared_ptr<const FileTexts> texts);

}  // namespace grpaudit::platform

#include "grpaudit/platform/file_texts.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <simdjson.h>

#include "grpaudit/platform/errors.h"
#include "grpaudit/platform/json_string.h"

namespace grpaudit::platform {

FileTexts::FileTexts(std::string path, int fd, const struct stat& loaded)
    : path_(std::move(path)), fd_(fd), loaded_(loaded) {}

// The time of last change (ctime) is left out: renaming or removing the file
// sets it, while what it holds stays as it was.
bool FileTexts::unchanged(const struct stat& then, const struct stat& now) {
  return then.st_dev == now.st_dev && then.st_ino == now.st_ino && then.st_size == now.st_size &&
         then.st_mtim.tv_sec == now.st_mtim.tv_sec && then.st_mtim.tv_nsec == now.st_mtim.tv_nsec;
}

FileTexts::~FileTexts() {
  ::close(fd_);
}

void FileTexts::add(const std::string& stored, FileTextSpan span) {
  spans_[&stored] = span;
}

void FileTexts::fail(const std::string& what) const {
  throw SnapshotError("snapshot " + path_ + ": " + what);
}

std::optional<std::string> FileTexts::read(const std::string& stored) const {
  const auto it = spans_.find(&stored);
  if (it == spans_.end()) return std::nullopt;
  const FileTextSpan& span = it->second;
  struct stat now {};
  if (::fstat(fd_, &now) != 0) fail(std::string("cannot read: ") + std::strerror(errno));
  if (!unchanged(loaded_, now)) fail("changed since it was loaded");

  // Read into the text itself and decoded in place: a JSON listing is
  // megabytes, and a second buffer would add as much to the peak.
  std::string text;
  text.reserve(span.raw_size + simdjson::SIMDJSON_PADDING);
  text.resize(span.raw_size);
  std::size_t got = 0;
  while (got < span.raw_size) {
    const ssize_t n =
        ::pread(fd_, text.data() + got, span.raw_size - got, static_cast<off_t>(span.offset + got));
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n == 0) {
      fail("changed since it was loaded");
    } else if (errno != EINTR) {
      fail(std::string("cannot read: ") + std::strerror(errno));
    }
  }
  const std::size_t size =
      span.raw_size < 2 || text.front() != '"' || text.back() != '"'
          ? detail::kNotJson
          : detail::decode_json_body({text.data() + 1, span.raw_size - 2}, text.data());
  if (size != span.size) fail("changed since it was loaded");
  text.resize(size);
  return text;
}

}  // namespace grpaudit::platform

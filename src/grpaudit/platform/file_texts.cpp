#include "grpaudit/platform/file_texts.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <simdjson.h>

#include "grpaudit/asic/errors.h"
#include "grpaudit/util/ints.h"

namespace grpaudit::platform {
namespace {

// The code unit of the four hex digits at `p`, or -1.
long hex4(const char* p) {
  long v = 0;
  for (int i = 0; i < 4; ++i) {
    const int d = util::digit_value(p[i]);
    if (d >= 16) return -1;
    v = v * 16 + d;
  }
  return v;
}

char* put_utf8(unsigned long cp, char* d) {
  const auto byte = [](unsigned long v) {
    return static_cast<char>(static_cast<unsigned char>(v));
  };
  if (cp <= 0x7F) {
    *d++ = byte(cp);
  } else if (cp <= 0x7FF) {
    *d++ = byte(0xC0 | (cp >> 6));
    *d++ = byte(0x80 | (cp & 0x3F));
  } else if (cp <= 0xFFFF) {
    *d++ = byte(0xE0 | (cp >> 12));
    *d++ = byte(0x80 | ((cp >> 6) & 0x3F));
    *d++ = byte(0x80 | (cp & 0x3F));
  } else {
    *d++ = byte(0xF0 | (cp >> 18));
    *d++ = byte(0x80 | ((cp >> 12) & 0x3F));
    *d++ = byte(0x80 | ((cp >> 6) & 0x3F));
    *d++ = byte(0x80 | (cp & 0x3F));
  }
  return d;
}

}  // namespace

namespace detail {

std::size_t decode_json_body(std::string_view body, char* out) {
  const char* p = body.data();
  const char* const end = body.data() + body.size();
  std::size_t size = 0;
  const auto put = [&out, &size](const char* from, std::size_t n) {
    if (out != nullptr) std::memcpy(out + size, from, n);
    size += n;
  };
  while (p < end) {
    const auto* bs =
        static_cast<const char*>(std::memchr(p, '\\', static_cast<std::size_t>(end - p)));
    if (bs == nullptr) {
      put(p, static_cast<std::size_t>(end - p));
      break;
    }
    put(p, static_cast<std::size_t>(bs - p));
    if (end - bs < 2) return kNotJson;
    char c = 0;
    switch (bs[1]) {
      case '"':
        c = '"';
        break;
      case '\\':
        c = '\\';
        break;
      case '/':
        c = '/';
        break;
      case 'b':
        c = '\b';
        break;
      case 'f':
        c = '\f';
        break;
      case 'n':
        c = '\n';
        break;
      case 'r':
        c = '\r';
        break;
      case 't':
        c = '\t';
        break;
      case 'u': {
        if (end - bs < 6) return kNotJson;
        long cp = hex4(bs + 2);
        p = bs + 6;
        if (cp < 0 || (cp >= 0xDC00 && cp <= 0xDFFF)) return kNotJson;
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          // A high surrogate stands only before a low one.
          if (end - p < 6 || p[0] != '\\' || p[1] != 'u') return kNotJson;
          const long low = hex4(p + 2);
          if (low < 0xDC00 || low > 0xDFFF) return kNotJson;
          cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          p += 6;
        }
        char utf8[4];
        put(utf8, static_cast<std::size_t>(put_utf8(static_cast<unsigned long>(cp), utf8) - utf8));
        continue;
      }
      default:
        return kNotJson;
    }
    put(&c, 1);
    p = bs + 2;
  }
  return size;
}

bool decode_json_string(std::string_view token, std::string& out) {
  if (token.size() < 2 || token.front() != '"' || token.back() != '"') return false;
  const std::string_view body = token.substr(1, token.size() - 2);
  // The text is never longer than its JSON string.
  out.clear();
  out.reserve(body.size() + simdjson::SIMDJSON_PADDING);
  out.resize(body.size());
  const std::size_t size = decode_json_body(body, out.data());
  if (size == kNotJson) return false;
  out.resize(size);
  return true;
}

}  // namespace detail

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

  auto raw = std::make_unique_for_overwrite<char[]>(span.raw_size);
  std::size_t got = 0;
  while (got < span.raw_size) {
    const ssize_t n =
        ::pread(fd_, raw.get() + got, span.raw_size - got, static_cast<off_t>(span.offset + got));
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n == 0) {
      fail("changed since it was loaded");
    } else if (errno != EINTR) {
      fail(std::string("cannot read: ") + std::strerror(errno));
    }
  }
  std::string text;
  if (!detail::decode_json_string({raw.get(), span.raw_size}, text) || text.size() != span.size)
    fail("changed since it was loaded");
  return text;
}

}  // namespace grpaudit::platform

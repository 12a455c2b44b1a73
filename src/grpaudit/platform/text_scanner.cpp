#include "grpaudit/platform/text_scanner.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <simdjson.h>

#include "grpaudit/platform/json_string.h"

namespace grpaudit::platform {

namespace {

namespace sj = simdjson;

// Deeper than any snapshot: give up rather than recurse without end.
constexpr int kMaxDepth = 256;

bool delimiter(char c) {
  return c == ',' || c == '}' || c == ']' || c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// What the parser refuses in a string: a byte below 0x20.
bool has_control(std::string_view s) {
  // The smallest byte, in a loop the compiler runs many bytes at a time.
  unsigned char least = 0xFF;
  for (const char c : s) least = std::min(least, static_cast<unsigned char>(c));
  return least < 0x20;
}

void forget(TextSpans::ByKey& from, std::string_view key) {
  if (const auto it = from.find(key); it != from.end()) from.erase(it);
}

}  // namespace

bool TextScanner::scan() {
  blank();
  if (!value(Place::kTop, {}, 0)) return false;
  blank();
  return at_ == bytes_.size();
}

TextScanner::Place TextScanner::member_place(Place parent, std::string_view key) {
  switch (parent) {
    case Place::kTop:
      return key == "sdk" ? Place::kSdk : key == "host" ? Place::kHost : Place::kOther;
    case Place::kSdk:
      return key == "commands" ? Place::kSdkCommands : Place::kOther;
    case Place::kSdkCommands:
      return Place::kSdkCommand;
    case Place::kHost:
      return key == "commands" ? Place::kHostCommands
             : key == "files"  ? Place::kHostFiles
                               : Place::kOther;
    case Place::kHostCommands:
      return Place::kHostCommand;
    case Place::kHostCommand:
      return key == "stdout" ? Place::kHostStdout : Place::kOther;
    case Place::kHostFiles:
      return Place::kHostFile;
    default:
      return Place::kOther;
  }
}

// `key` names the entry a text belongs to: the command or the file.
bool TextScanner::value(Place place, const std::string& key, int depth) {
  if (at_ >= bytes_.size() || depth > kMaxDepth) return false;
  switch (bytes_[at_]) {
    case '{':
      return object(place, key, depth + 1);
    case '[':
      return array(depth + 1);
    case '"':
      if (place == Place::kSdkCommand) return text(spans_.sdk_commands, key);
      if (place == Place::kHostStdout) return text(spans_.host_stdout, key);
      if (place == Place::kHostFile) return text(spans_.host_files, key);
      return string_end() != std::string_view::npos;
    default: {  // a number, true, false or null: the parser checks it
      const std::size_t from = at_;
      while (at_ < bytes_.size() && !delimiter(bytes_[at_])) ++at_;
      return at_ > from;
    }
  }
}

bool TextScanner::object(Place place, const std::string& key, int depth) {
  // A reader takes the last of each section: so a new one starts afresh.
  switch (place) {
    case Place::kSdk:
    case Place::kSdkCommands:
      spans_.sdk_commands.clear();
      break;
    case Place::kHost:
      spans_.host_stdout.clear();
      spans_.host_files.clear();
      break;
    case Place::kHostCommands:
      spans_.host_stdout.clear();
      break;
    case Place::kHostFiles:
      spans_.host_files.clear();
      break;
    case Place::kHostCommand:
      forget(spans_.host_stdout, key);
      break;
    default:
      break;
  }
  ++at_;  // {
  blank();
  if (eat('}')) return true;
  std::string member;
  for (;;) {
    blank();
    if (!this->key(member)) return false;
    blank();
    if (!eat(':')) return false;
    blank();
    const Place child = member_place(place, member);
    // A host command's output is filed under the command.
    if (!value(child, child == Place::kHostStdout ? key : member, depth)) return false;
    blank();
    if (eat(',')) continue;
    return eat('}');
  }
}

bool TextScanner::array(int depth) {
  ++at_;  // [
  blank();
  if (eat(']')) return true;
  for (;;) {
    blank();
    if (!value(Place::kOther, {}, depth)) return false;
    blank();
    if (eat(',')) continue;
    return eat(']');
  }
}

bool TextScanner::key(std::string& out) {
  const std::size_t open = at_;
  if (at_ >= bytes_.size() || bytes_[at_] != '"') return false;
  const std::size_t close = string_end();
  if (close == std::string_view::npos) return false;
  const std::string_view body = bytes_.substr(open + 1, close - open - 1);
  out.resize(body.size());
  const std::size_t n = detail::decode_json_body(body, out.data());
  if (n == detail::kNotJson) return false;
  out.resize(n);
  return true;
}

// A text that may be left out: a long one.
bool TextScanner::text(TextSpans::ByKey& into, const std::string& key) {
  const std::size_t open = at_;
  const std::size_t close = string_end();
  if (close == std::string_view::npos) return false;
  const std::string_view body = bytes_.substr(open + 1, close - open - 1);
  if (body.size() < min_size_) {
    forget(into, key);
    return true;
  }
  if (has_control(body) || !sj::validate_utf8(body)) return false;
  const std::size_t size = detail::decode_json_body(body, nullptr);
  if (size == detail::kNotJson) return false;
  into.insert_or_assign(key, FileTextSpan{open, close + 1 - open, size});
  cuts_.emplace_back(open + 1, close);
  return true;
}

// Moves past the string that starts at at_ and returns where its closing
// quote is (npos when there is none).
std::size_t TextScanner::string_end() {
  const std::size_t close = detail::closing_quote(bytes_, at_ + 1);
  if (close != std::string_view::npos) at_ = close + 1;
  return close;
}

void TextScanner::blank() {
  while (at_ < bytes_.size() &&
         (bytes_[at_] == ' ' || bytes_[at_] == '\t' || bytes_[at_] == '\n' || bytes_[at_] == '\r'))
    ++at_;
}

bool TextScanner::eat(char c) {
  if (at_ >= bytes_.size() || bytes_[at_] != c) return false;
  ++at_;
  return true;
}

std::size_t TextScanner::rest_size() const {
  std::size_t cut = 0;
  for (const auto& [from, to] : cuts_) cut += to - from;
  return bytes_.size() - cut;
}

void TextScanner::write_rest(char* out) const {
  std::size_t at = 0;
  for (const auto& [from, to] : cuts_) {
    std::memcpy(out, bytes_.data() + at, from - at);
    out += from - at;
    at = to;
  }
  std::memcpy(out, bytes_.data() + at, bytes_.size() - at);
}

namespace {

// Quotes and backslashes of 64 bytes, one bit per byte.
struct Marks {
  std::uint64_t quote = 0;
  std::uint64_t backslash = 0;
};

Marks marks64(const char* p) {
  Marks m;
  for (int i = 0; i < 64; ++i) {
    m.quote |= static_cast<std::uint64_t>(p[i] == '"') << i;
    m.backslash |= static_cast<std::uint64_t>(p[i] == '\\') << i;
  }
  return m;
}

}  // namespace

namespace detail {

std::size_t closing_quote(std::string_view bytes, std::size_t body) {
  // Most long texts hold no quote but their closing one: look for the first
  // quote the fast way, and go block by block only when a backslash escapes
  // it.
  const std::size_t first = bytes.find('"', body);
  if (first == std::string_view::npos) return first;
  std::size_t slashes = 0;
  while (first - slashes > body && bytes[first - slashes - 1] == '\\') ++slashes;
  if (slashes % 2 == 0) return first;

  std::uint64_t carry = 0;
  for (std::size_t at = body; at < bytes.size(); at += 64) {
    const char* p = bytes.data() + at;
    char tail[64];
    if (bytes.size() - at < 64) {
      std::memset(tail, 0, sizeof tail);
      std::memcpy(tail, p, bytes.size() - at);
      p = tail;
    }
    const Marks m = marks64(p);
    const std::uint64_t esc = escaped_bytes(m.backslash, carry);
    const std::uint64_t plain = m.quote & ~esc;
    if (plain != 0) return at + static_cast<std::size_t>(__builtin_ctzll(plain));
  }
  return std::string_view::npos;
}

}  // namespace detail
}  // namespace grpaudit::platform

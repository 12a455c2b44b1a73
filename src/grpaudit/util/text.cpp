#include "grpaudit/util/text.h"

#include <charconv>
#include <cstring>

namespace grpaudit::util {

namespace {

// Where the line after the break at `end` starts.
std::size_t after_break(std::string_view text, std::size_t end) {
  if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
    return end + 2;
  }
  return end + 1;
}

}  // namespace

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (const std::string_view line : Lines(text)) lines.push_back(line);
  return lines;
}

void Lines::iterator::advance() {
  const std::size_t n = text_.size();
  if (next_ >= n) {
    done_ = true;
    return;
  }
  // Listings break at \n nearly always: memchr finds that, then the line
  // ends at a \r before it, if any. The \n found is kept until the lines pass
  // it, so that text broken at \r alone is still read in one pass.
  const char* p = text_.data();
  if (nl_ == std::string_view::npos || nl_ < next_) {
    const void* nl = std::memchr(p + next_, '\n', n - next_);
    nl_ = nl == nullptr ? n : static_cast<std::size_t>(static_cast<const char*>(nl) - p);
  }
  const void* cr = std::memchr(p + next_, '\r', nl_ - next_);
  const std::size_t end =
      cr == nullptr ? nl_ : static_cast<std::size_t>(static_cast<const char*>(cr) - p);
  line_ = text_.substr(next_, end - next_);
  next_ = after_break(text_, end);
  done_ = false;
}

void split_ws(std::string_view text, std::vector<std::string_view>& words) {
  words.clear();
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    while (i < n && is_space(text[i])) ++i;
    if (i == n) break;
    const std::size_t start = i;
    while (i < n && !is_space(text[i])) ++i;
    words.push_back(text.substr(start, i - start));
  }
}

std::vector<std::string_view> split_ws(std::string_view text) {
  std::vector<std::string_view> words;
  split_ws(text, words);
  return words;
}

std::string_view first_word(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  std::size_t end = i;
  while (end < text.size() && !is_space(text[end])) ++end;
  return text.substr(i, end - i);
}

std::vector<std::string_view> split_at(std::string_view text, std::string_view sep) {
  std::vector<std::string_view> pieces;
  split_at(text, sep, pieces);
  return pieces;
}

void split_at(std::string_view text, std::string_view sep, std::vector<std::string_view>& pieces) {
  pieces.clear();
  if (sep.empty()) {
    pieces.push_back(text);
    return;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t pos = text.find(sep, start);
    if (pos == std::string_view::npos) break;
    pieces.push_back(text.substr(start, pos - start));
    start = pos + sep.size();
  }
  pieces.push_back(text.substr(start));
}

std::string_view strip(std::string_view text) {
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && is_space(text[b])) ++b;
  while (e > b && is_space(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool contains(std::string_view text, std::string_view needle) {
  return text.find(needle) != std::string_view::npos;
}

namespace {

// "<first>.<second>" into `out`.
void join_into(std::string& out, std::string_view first, std::string_view second) {
  out.clear();
  out.reserve(first.size() + 1 + second.size());
  out.append(first).append(1, '.').append(second);
}

}  // namespace

std::string dot_join(std::string_view a, std::int64_t b) {
  std::string out;
  dot_join_into(out, a, b);
  return out;
}

void dot_join_into(std::string& out, std::string_view a, std::int64_t b) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, b).ptr;
  join_into(out, a, std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

std::string dot_join(std::int64_t a, std::string_view b) {
  std::string out;
  dot_join_into(out, a, b);
  return out;
}

void dot_join_into(std::string& out, std::int64_t a, std::string_view b) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, a).ptr;
  join_into(out, std::string_view(digits, static_cast<std::size_t>(end - digits)), b);
}

std::string quote(std::string_view text) {
  constexpr std::size_t kMax = 200;
  std::string out = "\"";
  out.append(text.substr(0, kMax));
  if (text.size() > kMax) out.append("...");
  out.push_back('"');
  return out;
}

}  // namespace grpaudit::util

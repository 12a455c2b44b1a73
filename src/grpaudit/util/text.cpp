#include "grpaudit/util/text.h"

#include <charconv>

namespace grpaudit::util {

namespace {

// Where the line that starts at `start` ends (its break, or the end of text).
std::size_t line_end(std::string_view text, std::size_t start) {
  const char* p = text.data();
  const std::size_t n = text.size();
  std::size_t i = start;
  // Every character above '\r' is a plain one: one comparison for most.
  while (i < n && (static_cast<unsigned char>(p[i]) > '\r' || (p[i] != '\n' && p[i] != '\r'))) ++i;
  return i;
}

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
  if (next_ >= text_.size()) {
    done_ = true;
    return;
  }
  const std::size_t end = line_end(text_, next_);
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
  if (sep.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t pos = text.find(sep, start);
    if (pos == std::string_view::npos) break;
    pieces.push_back(text.substr(start, pos - start));
    start = pos + sep.size();
  }
  pieces.push_back(text.substr(start));
  return pieces;
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

std::string dot_join(std::string_view a, std::int64_t b) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, b).ptr;
  std::string out;
  out.reserve(a.size() + 1 + static_cast<std::size_t>(end - digits));
  out.append(a).append(1, '.').append(digits, end);
  return out;
}

std::string dot_join(std::int64_t a, std::string_view b) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, a).ptr;
  std::string out;
  out.reserve(static_cast<std::size_t>(end - digits) + 1 + b.size());
  out.append(digits, end).append(1, '.').append(b);
  return out;
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

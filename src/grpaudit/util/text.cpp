#include "grpaudit/util/text.h"

namespace grpaudit::util {

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c != '\n' && c != '\r') continue;
    lines.push_back(text.substr(start, i - start));
    if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < n) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string_view> split_ws(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    while (i < n && is_space(text[i])) ++i;
    if (i == n) break;
    const std::size_t start = i;
    while (i < n && !is_space(text[i])) ++i;
    words.push_back(text.substr(start, i - start));
  }
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

std::string quote(std::string_view text) {
  constexpr std::size_t kMax = 200;
  std::string out = "\"";
  out.append(text.substr(0, kMax));
  if (text.size() > kMax) out.append("...");
  out.push_back('"');
  return out;
}

}  // namespace grpaudit::util

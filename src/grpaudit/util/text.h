#pragma once
// Splitting of SDK and kernel listings: lines and white-space separated words.
//
// White space is exactly the six ASCII characters space, \t, \n, \v, \f and \r;
// line breaks are \n, \r\n and \r. Every function returns views into the text
// it was given, so the text must outlive the result.

#include <string>
#include <string_view>
#include <vector>

namespace grpaudit::util {

constexpr bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Lines of `text`, without their breaks. A final break yields no empty last
// line; empty text yields no lines.
std::vector<std::string_view> split_lines(std::string_view text);

// Words of `text` at runs of white space; never yields an empty word.
std::vector<std::string_view> split_ws(std::string_view text);

// The first word of `text`, or an empty view when it holds none.
std::string_view first_word(std::string_view text);

// Pieces of `text` at every occurrence of `sep` (empty pieces kept).
std::vector<std::string_view> split_at(std::string_view text, std::string_view sep);

// `text` without leading and trailing white space.
std::string_view strip(std::string_view text);

bool contains(std::string_view text, std::string_view needle);

// `text` quoted for an error message, cut short when it is long.
std::string quote(std::string_view text);

}  // namespace grpaudit::util

#include "grpaudit/util/json_errors.h"

#include <algorithm>

namespace grpaudit::util {

using nlohmann::json;

std::pair<std::size_t, std::size_t> line_and_column(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      ++line;
      column = 1;
    } else if ((c & 0xC0) != 0x80) {  // UTF-8 continuation bytes do not start a character
      ++column;
    }
  }
  return {line, column};
}

std::string parse_reason(const json::exception& e) {
  std::string_view what = e.what();
  if (auto p = what.find("] "); p != std::string_view::npos) what.remove_prefix(p + 2);
  if (what.starts_with("parse error")) {
    if (auto p = what.find(": "); p != std::string_view::npos) what.remove_prefix(p + 2);
  }
  return std::string(what);
}

void rethrow_naming(const json::exception& e, std::string_view text, std::string_view source) {
  const std::string what = std::string(source) + ": " + parse_reason(e);
  if (const auto* parse = dynamic_cast<const json::parse_error*>(&e)) {
    if (parse->byte == 0) throw json::parse_error::create(e.id, 0, what, nullptr);
    // e.byte counts the bytes read, the offending one included.
    const auto [line, column] = line_and_column(text, parse->byte == 0 ? 0 : parse->byte - 1);
    nlohmann::detail::position_t at;
    at.chars_read_total = parse->byte;
    at.chars_read_current_line = column;
    at.lines_read = line - 1;
    throw json::parse_error::create(e.id, at, what, nullptr);
  }
  // Past the syntax, the parser fails only on a number beyond a double.
  throw json::out_of_range::create(e.id, what, nullptr);
}

}  // namespace grpaudit::util

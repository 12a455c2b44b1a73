#pragma once
// Wording of the errors of JSON read from outside: where a text stops being
// JSON, and the parser's own explanation.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

namespace grpaudit::util {

// 1-based line and column (in characters) of the byte at `offset` of `text`.
std::pair<std::size_t, std::size_t> line_and_column(std::string_view text, std::size_t offset);

// The parser's explanation of `e`, without its error id and position prefix.
std::string parse_reason(const nlohmann::json::exception& e);

// A JSON error for `e`, raised while parsing `text`, the output of `source`:
// the same kind and id, its message naming the source and, for a parse
// error, the line and column where the text stops being JSON.
[[noreturn]] void rethrow_naming(const nlohmann::json::exception& e, std::string_view text,
                                 std::string_view source);

}  // namespace grpaudit::util

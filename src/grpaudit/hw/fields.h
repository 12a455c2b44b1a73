#pragma once
// Positional access to the words of an SDK listing row, with the errors that
// the readers report for a malformed listing.

#include <cstdint>
#include <string_view>
#include <vector>

namespace grpaudit::hw {

using Words = std::vector<std::string_view>;

// Position of the first word of `title` equal to `word`; std::out_of_range
// naming the header when there is none.
std::int64_t header_index(const Words& title, std::string_view word, std::string_view header);

// Word `index` of `row`; std::out_of_range naming the row when the row has no
// such word. A negative index is never counted from the end.
std::string_view field_at(const Words& row, std::int64_t index, std::string_view line);

}  // namespace grpaudit::hw

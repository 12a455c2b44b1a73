#include "grpaudit/hw/fields.h"

#include <stdexcept>
#include <string>

#include "grpaudit/util/text.h"

namespace grpaudit::hw {

std::int64_t header_index(const Words& title, std::string_view word, std::string_view header) {
  for (std::size_t i = 0; i < title.size(); ++i) {
    if (title[i] == word) return static_cast<std::int64_t>(i);
  }
  throw std::out_of_range("no column " + util::quote(word) + " in header " + util::quote(header));
}

std::string_view field_at(const Words& row, std::int64_t index, std::string_view line) {
  if (index < 0 || static_cast<std::uint64_t>(index) >= row.size()) {
    throw std::out_of_range("no field " + std::to_string(index) + " in row " + util::quote(line));
  }
  return row[static_cast<std::size_t>(index)];
}

}  // namespace grpaudit::hw

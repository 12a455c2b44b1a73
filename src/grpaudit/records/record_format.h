#pragma once
// The records' text forms in fmt: fmt::format("{}", record) writes what
// record.str() gives, so that a text built of records reads as one format.

#include <string_view>
#include <type_traits>

#include <fmt/format.h>

namespace grpaudit {

// Whether T is one of the system's records; each record header says so of
// its own types.
template <typename T>
struct is_record : std::false_type {};

}  // namespace grpaudit

template <typename T>
requires grpaudit::is_record<T>::value struct fmt::formatter<T> : fmt::formatter<std::string_view> {
  auto format(const T& record, fmt::format_context& ctx) const {
    return fmt::formatter<std::string_view>::format(record.str(), ctx);
  }
};

#pragma once
// A JSON value as an error message shows it.

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace grpaudit::util {

// The compact text of `value`, with containers nested deeper than `max_depth`
// shown as [...] or {...}: writing out a hostile document in full would
// recurse once per level and could exhaust the stack. Within the depth the
// text is exactly what dump() gives.
std::string json_brief(const nlohmann::json& value, std::size_t max_depth = 8);

}  // namespace grpaudit::util

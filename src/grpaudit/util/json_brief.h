#pragma once
// A JSON value as an error message shows it.

#include <cstddef>
#include <string>

#include <simdjson.h>

namespace grpaudit::util {

// The compact text of `value`, with containers nested deeper than `max_depth`
// shown as [...] or {...}: writing out a hostile document in full would
// recurse once per level and could exhaust the stack. Within the depth the
// text is what nlohmann's dump() writes for the same document: members in
// key order, of a member given twice the last.
std::string json_brief(simdjson::dom::element value, std::size_t max_depth = 8);

}  // namespace grpaudit::util

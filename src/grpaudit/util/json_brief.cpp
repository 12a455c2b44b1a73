#include "grpaudit/util/json_brief.h"

namespace grpaudit::util {
namespace {

using nlohmann::json;

void append(const json& v, std::size_t depth_left, std::string& out) {
  if (v.is_array()) {
    if (depth_left == 0 && !v.empty()) {
      out += "[...]";
      return;
    }
    out += '[';
    bool first = true;
    for (const json& e : v) {
      if (!first) out += ',';
      first = false;
      append(e, depth_left - 1, out);
    }
    out += ']';
  } else if (v.is_object()) {
    if (depth_left == 0 && !v.empty()) {
      out += "{...}";
      return;
    }
    out += '{';
    bool first = true;
    for (const auto& [key, e] : v.items()) {
      if (!first) out += ',';
      first = false;
      out += json(key).dump(-1, ' ', false, json::error_handler_t::replace);
      out += ':';
      append(e, depth_left - 1, out);
    }
    out += '}';
  } else {
    out += v.dump(-1, ' ', false, json::error_handler_t::replace);
  }
}

}  // namespace

std::string json_brief(const json& value, std::size_t max_depth) {
  std::string out;
  append(value, max_depth, out);
  return out;
}

}  // namespace grpaudit::util

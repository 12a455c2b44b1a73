#include "grpaudit/util/json_brief.h"

#include <map>
#include <string_view>

#include <nlohmann/json.hpp>

namespace grpaudit::util {
namespace {

namespace sj = simdjson;
using nlohmann::json;

std::string dump(const json& v) {
  return v.dump(-1, ' ', false, json::error_handler_t::replace);
}

void append(sj::dom::element v, std::size_t depth_left, std::string& out) {
  switch (v.type()) {
    case sj::dom::element_type::ARRAY: {
      const sj::dom::array items = v.get_array().value_unsafe();
      if (depth_left == 0 && items.size() > 0) {
        out += "[...]";
        return;
      }
      out += '[';
      bool first = true;
      for (const sj::dom::element e : items) {
        if (!first) out += ',';
        first = false;
        append(e, depth_left - 1, out);
      }
      out += ']';
      return;
    }
    case sj::dom::element_type::OBJECT: {
      const sj::dom::object fields = v.get_object().value_unsafe();
      if (depth_left == 0 && fields.size() > 0) {
        out += "{...}";
        return;
      }
      std::map<std::string_view, sj::dom::element> sorted;
      for (const auto field : fields) sorted.insert_or_assign(field.key, field.value);
      out += '{';
      bool first = true;
      for (const auto& [key, e] : sorted) {
        if (!first) out += ',';
        first = false;
        out += dump(json(std::string(key)));
        out += ':';
        append(e, depth_left - 1, out);
      }
      out += '}';
      return;
    }
    case sj::dom::element_type::INT64:
      out += dump(json(v.get_int64().value_unsafe()));
      return;
    case sj::dom::element_type::UINT64:
      out += dump(json(v.get_uint64().value_unsafe()));
      return;
    case sj::dom::element_type::DOUBLE:
      out += dump(json(v.get_double().value_unsafe()));
      return;
    case sj::dom::element_type::STRING:
      out += dump(json(std::string(v.get_string().value_unsafe())));
      return;
    case sj::dom::element_type::BOOL:
      out += v.get_bool().value_unsafe() ? "true" : "false";
      return;
    case sj::dom::element_type::NULL_VALUE:
      out += "null";
      return;
  }
}

}  // namespace

std::string json_brief(sj::dom::element value, std::size_t max_depth) {
  std::string out;
  append(value, max_depth, out);
  return out;
}

}  // namespace grpaudit::util

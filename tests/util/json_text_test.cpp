// The report's JSON is written as it goes; it must be the text nlohmann's
// dump() gives for the same document, compact and indented, whatever the
// strings hold.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "grpaudit/util/json_text.h"

namespace grpaudit::util {
namespace {

using ojson = nlohmann::ordered_json;

// `doc` written through JsonText, member by member.
void write(const ojson& doc, JsonText& out) {
  if (doc.is_object()) {
    out.begin_object();
    for (const auto& [key, value] : doc.items()) {
      out.key(key);
      write(value, out);
    }
    out.end_object();
  } else if (doc.is_array()) {
    out.begin_array();
    for (const auto& value : doc) write(value, out);
    out.end_array();
  } else if (doc.is_string()) {
    out.string(doc.get_ref<const std::string&>());
  } else if (doc.is_number_integer()) {
    out.number(doc.get<std::int64_t>());
  } else {
    out.null();
  }
}

TEST(JsonText, WritesWhatDumpWrites) {
  const ojson doc = {
      {"key", "blue, (10.1.1.1,239.1.1.1)"},
      {"empty", ojson::object()},
      {"none", ojson::array()},
      {"nested", {{"a", {1, -2, nullptr}}, {"b", {{"c", ojson::array({ojson::object()})}}}}},
      // Quotes, backslashes, control characters, UTF-8 and a byte that is
      // not UTF-8, which dump() replaces.
      {"texts",
       {"a\"b\\c", "tab\there\n", std::string("nul\0x", 5), "\x7F", "\xC3\xBC", "bad \xC3 byte"}},
      {"quoted \"key\"", 9223372036854775807},
  };
  for (const bool pretty : {false, true}) {
    for (const unsigned indent : {0u, 4u}) {
      SCOPED_TRACE(std::to_string(pretty) + " " + std::to_string(indent));
      std::string text;
      JsonText out(text, pretty, indent);
      write(doc, out);
      std::string want;
      nlohmann::detail::serializer<ojson> dump(nlohmann::detail::output_adapter<char>(want), ' ',
                                               nlohmann::json::error_handler_t::replace);
      dump.dump(doc, pretty, false, 2, pretty ? indent : 0);
      EXPECT_EQ(text, want);
    }
  }
}

}  // namespace
}  // namespace grpaudit::util

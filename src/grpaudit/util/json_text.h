#pragma once
// JSON written as it goes, as nlohmann's dump() writes the same document
// (compact, or indented by two), without building the document first: a
// large switch's report holds hundreds of thousands of routes.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace grpaudit::util {

class JsonText {
 public:
  // Appends to `out`; when `pretty`, a container's members are indented by
  // two more than `indent`, the container's own indentation.
  JsonText(std::string& out, bool pretty, unsigned indent = 0);

  JsonText& begin_object() { return open('{'); }
  JsonText& end_object() { return close('}'); }
  JsonText& begin_array() { return open('['); }
  JsonText& end_array() { return close(']'); }
  JsonText& key(std::string_view name);
  JsonText& string(std::string_view text);
  JsonText& number(std::int64_t n);
  JsonText& null();
  // A value written by another JsonText at indent().
  JsonText& raw(std::string_view written);

  template <typename Range>
  JsonText& strings(const Range& texts) {
    begin_array();
    for (const auto& text : texts) string(text);
    return end_array();
  }

  // The indentation of a value written next.
  unsigned indent() const { return indent_ + 2 * static_cast<unsigned>(open_.size()); }

 private:
  JsonText& open(char bracket);
  JsonText& close(char bracket);
  void before_value();
  void next_member();
  void escaped(std::string_view text);

  std::string& out_;
  bool pretty_;
  unsigned indent_;
  std::vector<bool> open_;  // per open container: whether it has members yet
  bool after_key_ = false;
  // Strings are escaped by nlohmann's own writer, through one reused value.
  nlohmann::ordered_json holder_;
  nlohmann::detail::serializer<nlohmann::ordered_json> serializer_;
};

}  // namespace grpaudit::util

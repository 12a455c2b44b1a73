#include "grpaudit/util/json_text.h"

#include <algorithm>

#include <fmt/format.h>

namespace grpaudit::util {

JsonText::JsonText(std::string& out, bool pretty, unsigned indent)
    : out_(out),
      pretty_(pretty),
      indent_(indent),
      holder_(std::string()),
      serializer_(nlohmann::detail::output_adapter<char>(out), ' ',
                  nlohmann::json::error_handler_t::replace) {}

// Inside a container: the separator and, when pretty, the line and
// indentation of the next member.
void JsonText::next_member() {
  if (open_.empty()) return;
  if (open_.back()) out_ += ',';
  open_.back() = true;
  if (pretty_) {
    out_ += '\n';
    out_.append(indent(), ' ');
  }
}

void JsonText::before_value() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  next_member();
}

void JsonText::escaped(std::string_view text) {
  // Printable ASCII other than the quote and the backslash stands for
  // itself, as almost every text of a report does; anything else is left to
  // nlohmann's writer.
  const bool plain = std::all_of(text.begin(), text.end(), [](char c) {
    return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
  });
  if (plain) {
    out_ += '"';
    out_ += text;
    out_ += '"';
    return;
  }
  holder_.get_ref<std::string&>().assign(text);
  serializer_.dump(holder_, false, false, 0);
}

JsonText& JsonText::open(char bracket) {
  before_value();
  out_ += bracket;
  open_.push_back(false);
  return *this;
}

// A container with members ends on a line of its own when pretty.
JsonText& JsonText::close(char bracket) {
  const bool had = open_.back();
  open_.pop_back();
  if (had && pretty_) {
    out_ += '\n';
    out_.append(indent(), ' ');
  }
  out_ += bracket;
  return *this;
}

JsonText& JsonText::key(std::string_view name) {
  next_member();
  escaped(name);
  out_ += pretty_ ? ": " : ":";
  after_key_ = true;
  return *this;
}

JsonText& JsonText::string(std::string_view text) {
  before_value();
  escaped(text);
  return *this;
}

JsonText& JsonText::number(std::int64_t n) {
  before_value();
  fmt::format_to(std::back_inserter(out_), "{}", n);
  return *this;
}

JsonText& JsonText::null() {
  before_value();
  out_ += "null";
  return *this;
}

JsonText& JsonText::raw(std::string_view written) {
  before_value();
  out_ += written;
  return *this;
}

}  // namespace grpaudit::util

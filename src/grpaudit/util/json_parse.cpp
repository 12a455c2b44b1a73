#include "grpaudit/util/json_parse.h"

#include <algorithm>
#include <cstddef>

#include <nlohmann/json.hpp>

namespace grpaudit::util {
namespace {

namespace sj = simdjson;
using nlohmann::json;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Why `text`, which simdjson refused with `error`, is not JSON: nlohmann
// reads it again for the position and the words; this runs only for a text
// that is refused anyway.
[[noreturn]] void refuse(std::string_view text, sj::error_code error) {
  [[maybe_unused]] const json words = json::parse(text);
  // Read by nlohmann and not by simdjson: an integer beyond 64 bits.
  throw json::parse_error::create(101, nlohmann::detail::position_t{},
                                  std::string("syntax error: ") + sj::error_message(error),
                                  nullptr);
}

// Enough depth for every bracket of `text`.
std::size_t depth_for(std::string_view text) {
  return static_cast<std::size_t>(
             std::count_if(text.begin(), text.end(), [](char c) { return c == '[' || c == '{'; })) +
         1;
}

// `text` without its byte order mark, parsed by `parse`; `whole`, with it,
// is what nlohmann reads for the words, so that positions count from the
// start of the text the caller holds.
template <typename Parse>
sj::dom::element parse_with(sj::dom::parser& parser, std::string_view whole, std::string_view text,
                            Parse parse) {
  sj::dom::element doc;
  sj::error_code error = parse().get(doc);
  if (error == sj::DEPTH_ERROR) {
    // Rare: a deeper document than the parser's default depth.
    if (parser.allocate(std::max<std::size_t>(text.size(), 1), depth_for(text)) == sj::SUCCESS)
      error = parse().get(doc);
  }
  if (error != sj::SUCCESS) refuse(whole, error);
  return doc;
}

}  // namespace

sj::dom::element parse_json(sj::dom::parser& parser, std::string_view whole) {
  std::string_view text = whole;
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  return parse_with(parser, whole, text,
                    [&] { return parser.parse(text.data(), text.size(), true); });
}

sj::dom::element parse_padded_json(sj::dom::parser& parser, sj::padded_string_view text) {
  const std::string_view whole = text;
  if (whole.starts_with(kByteOrderMark)) {
    const std::string_view body = whole.substr(kByteOrderMark.size());
    text =
        sj::padded_string_view(body.data(), body.size(), text.capacity() - kByteOrderMark.size());
  }
  return parse_with(parser, whole, text, [&] { return parser.parse(text); });
}

}  // namespace grpaudit::util

// Decoding JSON strings read from a snapshot file: the same bytes as the JSON
// parser's, 64 bytes at a time as one escape at a time, and in place.

#include "grpaudit/platform/json_string.h"

#include <gtest/gtest.h>

#include <simdjson.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

namespace grpaudit::platform {
namespace {

// What the parser makes of a JSON string token, or none when it refuses it.
std::optional<std::string> parsed(const std::string& token) {
  simdjson::dom::parser parser;
  std::string_view v;
  if (parser.parse(token).get(v)) return std::nullopt;
  return std::string(v);
}

// The decoding of `body` by `decode`, into a buffer of its own and in place
// (at the body itself, and one byte before it as from a quoted token), or
// none when it refuses the body. Every way must agree on the size.
template <typename Decode>
std::optional<std::string> decoded(Decode decode, const std::string& body) {
  const std::size_t size = decode(body, nullptr);
  std::string out(body.size(), '?');
  EXPECT_EQ(decode(body, out.data()), size);
  std::string same = body;
  EXPECT_EQ(decode(same, same.data()), size);
  std::string token = '"' + body;
  EXPECT_EQ(decode(std::string_view(token).substr(1), token.data()), size);
  if (size == detail::kNotJson) return std::nullopt;
  out.resize(size);
  EXPECT_EQ(same.substr(0, size), out);
  EXPECT_EQ(token.substr(0, size), out);
  return out;
}

// The body decoded every way there is, and checked against the parser
// unless `parser` is false: decoding leaves quotes and control characters to
// its callers, which the parser refuses.
void expect_parser_decoding(const std::string& body, bool parser = true) {
  SCOPED_TRACE(body);
  const auto blocks = decoded(detail::decode_json_body, body);
  const auto bytewise = decoded(detail::decode_json_body_bytewise, body);
  ASSERT_EQ(blocks, bytewise);
  if (parser) {
    EXPECT_EQ(blocks, parsed('"' + body + '"'));
  }
}

TEST(JsonString, DecodesAStringAsTheParserDoes) {
  const std::vector<std::string> bodies = {
      "",
      "plain text",
      R"(a\"b\\c\/d\b\f\n\r\t)",
      R"(\u0000\u001b[1m\u00fc\u20AC\uffff)",
      R"(\ud83d\ude00 and \uD800\uDC00)",
      "line 1\\nline 2\\n" + std::string(200, 'x') + "\\n",
      "\xC3\xBC UTF-8 as it stands",
      // What the parser refuses.
      R"(\q)",
      R"(\u12)",
      R"(\u12g4)",
      R"(\ud800)",
      R"(\ud800\u0041)",
      R"(\udc00)",
      R"(ends in a backslash\)",
      "\\\xC3\xBC",
      R"(\)",
  };
  for (const std::string& body : bodies) expect_parser_decoding(body);
}

TEST(JsonString, EscapesAtEveryPlaceOfABlock) {
  // Runs of backslashes and escapes of every kind across the edges of the
  // 64-byte blocks, and a text that ends inside one.
  const std::vector<std::string> escapes = {R"(\")", R"(\\)",     R"(\\\")",         R"(\\\\)",
                                            R"(\n)", R"(\u00e9)", R"(\ud83d\ude00)", R"(\x)",
                                            R"(\)",  R"(\\\)",    "\\\xC3\xBC"};
  for (const std::string& escape : escapes) {
    for (std::size_t at = 0; at < 140; ++at) {
      const std::string before(at, 'a');
      expect_parser_decoding(before + escape);
      expect_parser_decoding(before + escape + "tail" + std::string(70, 'b') + escape);
    }
  }
}

TEST(JsonString, RandomDenseTexts) {
  // JSON listings as a snapshot holds them: an escape every few bytes.
  const std::vector<std::string> pieces = {
      "a",     "bc",    "239.1.0.1", R"(\")",     R"(\\)",           R"(\/)",    R"(\n)",   R"(\t)",
      R"(\b)", R"(\f)", R"(\r)",     R"(\u0041)", R"(\ud83d\ude00)", "\xC3\xBC", R"(\\\")", "{"};
  std::mt19937 rng(7);
  for (int n = 0; n < 3000; ++n) {
    std::string body;
    const std::size_t count = rng() % 120;
    for (std::size_t i = 0; i < count; ++i) body += pieces[rng() % pieces.size()];
    // Now and then an escape that is not JSON, or a backslash that may
    // leave a quote unescaped (which only the parser would look for).
    const bool spoilt = rng() % 8 == 0;
    if (spoilt) body.insert(rng() % (body.size() + 1), rng() % 2 ? R"(\z)" : "\\");
    expect_parser_decoding(body, !spoilt);
  }
}

}  // namespace
}  // namespace grpaudit::platform

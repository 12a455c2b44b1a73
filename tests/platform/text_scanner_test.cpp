// Finding where a JSON string ends in a snapshot's bytes, a block of bytes at
// a time, against reading it an escape at a time.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "grpaudit/platform/text_scanner.h"

namespace grpaudit::platform {
namespace {

// The closing quote the slow way: read from the start, an escape at a time.
std::size_t closing_quote_slowly(const std::string& s, std::size_t body, bool& escaped_quote) {
  for (std::size_t i = body; i < s.size(); ++i) {
    if (s[i] == '"') return i;
    if (s[i] == '\\') {
      if (i + 1 < s.size() && s[i + 1] == '"') escaped_quote = true;
      ++i;
    }
  }
  return std::string::npos;
}

TEST(TextScanner, FindsTheClosingQuote) {
  struct Case {
    std::string text;
    std::size_t close;
    bool escaped_quote;
  };
  const std::vector<Case> cases = {
      {R"(abc")", 3, false},
      {R"(a\"b")", 4, true},
      {R"(a\\")", 3, false},
      {R"(a\\\"b")", 6, true},
      {R"(a\\\\")", 5, false},
      {"abc", std::string::npos, false},
      {R"(abc\")", std::string::npos, true},
      {"", std::string::npos, false},
      // Runs of backslashes across the blocks the search reads.
      {std::string(63, 'x') + "\\\"\"", 65, true},
      {std::string(63, 'x') + "\\\\\"", 65, false},
      {std::string(127, '\\') + "\"\"", 128, true},
      {std::string(128, '\\') + "\"", 128, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    bool escaped_quote = false;
    EXPECT_EQ(detail::closing_quote(c.text, 0, &escaped_quote), c.close);
    EXPECT_EQ(escaped_quote, c.escaped_quote);
  }

  // Random texts of the three bytes that matter, from every start.
  std::mt19937 rng(7);
  const char alphabet[] = {'a', '\\', '"', '\\', 'b'};
  for (int n = 0; n < 2000; ++n) {
    std::string s(rng() % 300, 'a');
    for (char& ch : s) ch = alphabet[rng() % sizeof alphabet];
    const std::size_t body = s.empty() ? 0 : rng() % s.size();
    bool want_escaped = false, got_escaped = false;
    const std::size_t want = closing_quote_slowly(s, body, want_escaped);
    ASSERT_EQ(detail::closing_quote(s, body, &got_escaped), want) << s << " from " << body;
    ASSERT_EQ(got_escaped, want_escaped) << s << " from " << body;
  }
}

}  // namespace
}  // namespace grpaudit::platform

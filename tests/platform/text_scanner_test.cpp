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
std::size_t closing_quote_slowly(const std::string& s, std::size_t body) {
  for (std::size_t i = body; i < s.size(); ++i) {
    if (s[i] == '"') return i;
    if (s[i] == '\\') ++i;
  }
  return std::string::npos;
}

TEST(TextScanner, FindsTheClosingQuote) {
  struct Case {
    std::string text;
    std::size_t close;
  };
  const std::vector<Case> cases = {
      {R"(abc")", 3},
      {R"(a\"b")", 4},
      {R"(a\\")", 3},
      {R"(a\\\"b")", 6},
      {R"(a\\\\")", 5},
      {"abc", std::string::npos},
      {R"(abc\")", std::string::npos},
      {"", std::string::npos},
      // Runs of backslashes across the blocks the search reads.
      {std::string(63, 'x') + "\\\"\"", 65},
      {std::string(63, 'x') + "\\\\\"", 65},
      {std::string(127, '\\') + "\"\"", 128},
      {std::string(128, '\\') + "\"", 128},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(detail::closing_quote(c.text, 0), c.close);
  }

  // Random texts of the three bytes that matter, from every start.
  std::mt19937 rng(7);
  const char alphabet[] = {'a', '\\', '"', '\\', 'b'};
  for (int n = 0; n < 2000; ++n) {
    std::string s(rng() % 300, 'a');
    for (char& ch : s) ch = alphabet[rng() % sizeof alphabet];
    const std::size_t body = s.empty() ? 0 : rng() % s.size();
    ASSERT_EQ(detail::closing_quote(s, body), closing_quote_slowly(s, body))
        << s << " from " << body;
  }
}

}  // namespace
}  // namespace grpaudit::platform

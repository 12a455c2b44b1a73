#include "grpaudit/util/text.h"

#include <gtest/gtest.h>

#include "grpaudit/util/ints.h"
#include "grpaudit/util/regex.h"

namespace grpaudit::util {
namespace {

using Views = std::vector<std::string_view>;

TEST(SplitLines, BreaksAtEveryLineEndingAndDropsOnlyTheFinalEmptyLine) {
  const struct {
    std::string_view text;
    Views lines;
  } cases[] = {
      {"", {}},
      {"\n", {""}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\nb", {"a", "b"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\n\r\nb", {"a", "", "b"}},
      {"a\v\fb", {"a\v\fb"}},                        // only \n, \r\n and \r break lines
      {"a\rb\rc\nd\re", {"a", "b", "c", "d", "e"}},  // \r-broken lines around a \n
      {"a\rb\r\nc\r\rd\n", {"a", "b", "c", "", "d"}},
      {"\r\r\n\n\r", {"", "", "", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(split_lines(c.text), c.lines) << c.text;
}

TEST(SplitLines, AgreesWithACharacterByCharacterSplitOnMixedBreaks) {
  // Every text of up to six characters over {a, \r, \n}.
  const auto naive = [](std::string_view text) {
    Views lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\n' && text[i] != '\r') continue;
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
  };
  constexpr char kChars[] = {'a', '\r', '\n'};
  for (int len = 0; len <= 6; ++len) {
    int total = 1;
    for (int i = 0; i < len; ++i) total *= 3;
    for (int code = 0; code < total; ++code) {
      std::string text;
      for (int i = 0, c = code; i < len; ++i, c /= 3) text += kChars[c % 3];
      EXPECT_EQ(split_lines(text), naive(text)) << testing::PrintToString(text);
    }
  }
}

TEST(BytesLess, OrdersAsStdStringDoes) {
  // Prefixes, high bytes (unsigned), NUL and the names the comparison sorts.
  const std::vector<std::string> texts = {"",      "a",        "ab",    "b",
                                          "swp1",  "swp1.100", "swp10", "swp2",
                                          "swp2.", "\xff",     "\x7f",  std::string("a\0b", 3),
                                          "a\xe9", "A",        "bond1", "swp9.4094"};
  for (const auto& a : texts) {
    for (const auto& b : texts) {
      EXPECT_EQ(bytes_less(a, b), a < b)
          << testing::PrintToString(a) << " " << testing::PrintToString(b);
    }
  }
}

TEST(SplitWs, SplitsAtRunsOfTheSixAsciiSpaces) {
  const struct {
    std::string_view text;
    Views words;
  } cases[] = {
      {"", {}},
      {" \t\n\v\f\r", {}},
      {"  a  b ", {"a", "b"}},
      {"a\tb\vc\fd\re\nf", {"a", "b", "c", "d", "e", "f"}},
      {"a\xa0z", {"a\xa0z"}},  // not ASCII white space
  };
  for (const auto& c : cases) EXPECT_EQ(split_ws(c.text), c.words) << c.text;
}

TEST(SplitAt, KeepsEmptyPieces) {
  EXPECT_EQ(split_at("a,,b,", ","), (Views{"a", "", "b", ""}));
  EXPECT_EQ(split_at("xGroupyGroup", "Group"), (Views{"x", "y", ""}));
  EXPECT_EQ(split_at("", ","), (Views{""}));
}

TEST(Strip, RemovesSurroundingWhiteSpaceOnly) {
  EXPECT_EQ(strip(" \t a b \r\n"), "a b");
  EXPECT_EQ(strip("   "), "");
  EXPECT_EQ(first_word("  swp1 swp2"), "swp1");
  EXPECT_EQ(first_word(" \t"), "");
}

TEST(ParseInt, AcceptsExactlyTheDocumentedForms) {
  constexpr std::int64_t X = INT64_MIN + 12345;  // marks a conversion error
  const struct {
    std::string_view text;
    std::int64_t dec, hex, autob;
  } cases[] = {
      {"0", 0, 0, 0},
      {"10", 10, 16, 10},
      {"+7", 7, 7, 7},
      {"-12", -12, -18, -12},
      {"1f", X, 31, X},
      {"0x1f", X, 31, 31},
      {"0X1F", X, 31, 31},
      {"-0x10", X, -16, -16},
      {"010", 10, 16, 8},
      {"0o17", X, X, 15},
      {"0b101", X, 0xb101, 5},
      {"", X, X, X},
      {"-", X, X, X},
      {"0x", X, X, X},
      {" 1", X, X, X},
      {"1 ", X, X, X},
      {"1_000", X, X, X},
      {"9223372036854775807", INT64_MAX, X, INT64_MAX},
      {"-9223372036854775808", INT64_MIN, X, INT64_MIN},
      {"9223372036854775808", X, X, X},
      {"0x7fffffffffffffff", X, INT64_MAX, INT64_MAX},
      {"0x8000000000000000", X, X, X},
      {"09", 9, 9, X},
      // Around the longest numbers that cannot leave the range.
      {"999999999999999999", 999999999999999999, X, 999999999999999999},
      {"-999999999999999999", -999999999999999999, X, -999999999999999999},
      {"9999999999999999999", X, X, X},
      {"99999999999999999x", X, X, X},
      {"0xfffffffffffffff", X, 0xfffffffffffffff, 0xfffffffffffffff},
      {"-fffffffffffffff", X, -0xfffffffffffffff, X},
      {"0xffffffffffffffff", X, X, X},
      {"0x0000000000000000001", X, 1, 1},
  };
  auto check = [X](auto fn, std::string_view text, std::int64_t want, const char* what) {
    if (want == X) {
      EXPECT_THROW(fn(text), std::invalid_argument) << what << " " << text;
    } else {
      EXPECT_EQ(fn(text), want) << what << " " << text;
    }
  };
  for (const auto& c : cases) {
    check(parse_dec, c.text, c.dec, "dec");
    check(parse_hex, c.text, c.hex, "hex");
    check(parse_int_auto, c.text, c.autob, "auto");
  }
}

TEST(ParseInt, ErrorNamesTheText) {
  try {
    parse_dec("12ab");
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_NE(std::string(e.what()).find("\"12ab\""), std::string::npos) << e.what();
  }
}

TEST(Regex, DotNeverCrossesALineBreakAndAnchoringIsFixed) {
  const Regex search("vlan (?P<v>\\d+).*untagged (?P<p>\\S+)", Regex::Mode::kSearch);
  EXPECT_FALSE(search.match("vlan 10 x\r untagged xe0"));
  EXPECT_FALSE(search.match("vlan 10 x\n untagged xe0"));
  const auto m = search.match("junk\nvlan 10 untagged a untagged xe1 more");
  ASSERT_TRUE(m);
  EXPECT_EQ((*m)["v"], "10");
  EXPECT_EQ((*m)["p"], "xe1");  // greedy .* reaches the last "untagged " of the line

  const Regex anchored("Port (?P<port>\\S+)", Regex::Mode::kAnchored);
  EXPECT_FALSE(anchored.match(" Port xe0"));
  ASSERT_TRUE(anchored.match("Port xe0 default"));
  EXPECT_EQ((*anchored.match("Port xe0 default"))["port"], "xe0");
}

}  // namespace
}  // namespace grpaudit::util

#include "grpaudit/util/text_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace grpaudit::util {
namespace {

std::vector<std::string> read_back(const std::vector<char>& run, std::size_t from, std::size_t to) {
  std::vector<std::string> out;
  for (const std::string_view text : TextRun(run.data() + from, run.data() + to))
    out.emplace_back(text);
  return out;
}

TEST(TextRun, GivesBackEveryTextAtEveryLengthAroundTheLongForm) {
  const std::vector<std::string> texts = {
      "",
      "swp1",
      std::string(1, '\0'),
      std::string(254, 'a'),
      std::string(255, 'b'),
      std::string(256, 'c'),
      std::string(70000, 'd'),
      "swp3.100",
      std::string("\xff\xfe", 2),
  };
  std::vector<char> run;
  for (const auto& t : texts) append_to_run(run, t);
  EXPECT_EQ(read_back(run, 0, run.size()), texts);
  // One byte of length below 255, nine from there on.
  EXPECT_EQ(run.size(), 9 * 1 + 3 * 8 + 0 + 4 + 1 + 254 + 255 + 256 + 70000 + 8 + 2);
}

TEST(TextRun, RunsSideBySideInOneBufferStayApart) {
  std::vector<char> run;
  append_to_run(run, "swp1");
  append_to_run(run, "swp2.10");
  const std::size_t middle = run.size();
  append_to_run(run, std::string(300, 'x'));
  append_to_run(run, "swp9");
  EXPECT_EQ(read_back(run, 0, middle), (std::vector<std::string>{"swp1", "swp2.10"}));
  EXPECT_EQ(read_back(run, middle, run.size()),
            (std::vector<std::string>{std::string(300, 'x'), "swp9"}));
  EXPECT_TRUE(TextRun(run.data() + middle, run.data() + middle).empty());
  EXPECT_TRUE(TextRun().empty());
  // A forward range: the library's set algorithms take it as they take a vector.
  const std::vector<std::string_view> wanted = {"swp1", "swp2.10"};
  const TextRun first(run.data(), run.data() + middle);
  EXPECT_TRUE(std::includes(first.begin(), first.end(), wanted.begin(), wanted.end()));
  EXPECT_TRUE(std::equal(first.begin(), first.end(), wanted.begin(), wanted.end()));
}

}  // namespace
}  // namespace grpaudit::util

#include "grpaudit/util/name_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace grpaudit::util {
namespace {

TEST(NameTable, FindsEveryNameShortOrLongAndKeepsValuesInPlace) {
  // Names around the length kept in the index itself, many enough to grow
  // the index several times; a std::map is the referee.
  NameTable<int> table;
  std::map<std::string, int*> seen;
  for (int i = 0; i < 3000; ++i) {
    const std::string name = std::string(static_cast<std::size_t>(i % 30), 'x') + std::to_string(i);
    int& value = table[name];
    EXPECT_EQ(value, 0) << name;  // new names start value-initialized
    value = i + 1;
    seen.emplace(name, &value);
  }
  EXPECT_EQ(table.size(), seen.size());
  for (const auto& [name, where] : seen) {
    EXPECT_EQ(&table[name], where) << name;  // the same element, never moved
  }
  EXPECT_EQ(table.size(), seen.size());  // looking up made nothing new

  // Names that differ only in length or in the last character are apart.
  NameTable<int> small;
  small["swp1"] = 1;
  small["swp1."] = 2;
  small["swp10"] = 3;
  small[""] = 4;
  EXPECT_EQ(small["swp1"], 1);
  EXPECT_EQ(small["swp1."], 2);
  EXPECT_EQ(small["swp10"], 3);
  EXPECT_EQ(small[""], 4);
  EXPECT_EQ(small.size(), 4u);
}

}  // namespace
}  // namespace grpaudit::util

#include "grpaudit/util/insertion_map.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace grpaudit::util {
namespace {

using Map = InsertionMap<std::string, int>;

std::vector<std::string> keys(const Map& m) {
  std::vector<std::string> out;
  for (const auto& [k, v] : m) out.push_back(k);
  return out;
}

TEST(InsertionMap, KeepsFirstInsertionOrderAndFirstValueAcrossGrowth) {
  // Enough keys to grow the index several times, inserted twice each in a
  // scrambled order; a std::map is the referee for lookups.
  Map m;
  std::map<std::string, int> want;
  std::vector<std::string> order;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 1000; ++i) {
      const std::string key = std::to_string((i * 7919) % 1000) + ".01:00:5e";
      const auto [it, inserted] = m.try_emplace(key, i + 1000 * round);
      EXPECT_EQ(inserted, round == 0) << key;
      EXPECT_EQ(it->first, key);
      if (round == 0) {
        order.push_back(key);
        want.emplace(key, i);
      }
    }
  }
  EXPECT_EQ(m.size(), 1000u);
  EXPECT_EQ(keys(m), order);
  for (const auto& [k, v] : want) {
    ASSERT_TRUE(m.contains(k));
    EXPECT_EQ(m.at(k), v);
    EXPECT_EQ(m.find(k)->second, v);
  }
  EXPECT_FALSE(m.contains("1000.01:00:5e"));
  EXPECT_EQ(m.find("x"), m.end());
  EXPECT_THROW(m.at("x"), std::out_of_range);
}

TEST(InsertionMap, ElementsStayPutAndCopiesAreIndependent) {
  Map m;
  int* first = &m.try_emplace("a", 1).first->second;
  for (int i = 0; i < 500; ++i) m.try_emplace("k" + std::to_string(i), i);
  EXPECT_EQ(first, &m.at("a"));  // never moved by later insertions

  Map copy = m;
  copy.try_emplace("only-in-copy", 7);
  copy.at("a") = 2;
  EXPECT_FALSE(m.contains("only-in-copy"));
  EXPECT_EQ(m.at("a"), 1);
  EXPECT_EQ(copy.at("a"), 2);
  EXPECT_EQ(keys(copy).back(), "only-in-copy");

  Map moved = std::move(copy);
  EXPECT_EQ(moved.at("only-in-copy"), 7);
  m = moved;
  EXPECT_EQ(m.size(), moved.size());
  EXPECT_EQ(keys(m), keys(moved));
}

TEST(InsertionMap, EmptyMapFindsNothing) {
  const Map m;
  EXPECT_TRUE(m.empty());
  EXPECT_FALSE(m.contains(""));
  EXPECT_EQ(m.find(""), m.end());
}

}  // namespace
}  // namespace grpaudit::util

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "StringCollection.h"

namespace {

TEST(StringCollection, AddsBorrowedPointers) {
  StringCollection c;
  int index = 77;
  EXPECT_FALSE(c.Add(nullptr, &index));
  EXPECT_EQ(index, 77);

  const char* one = "one";
  const char* two = "two";
  EXPECT_TRUE(c.Add(one, &index));
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(c.Add(two, nullptr));
  EXPECT_TRUE(c.Add(one, &index));  // the same pointer again: its first slot
  EXPECT_EQ(index, 0);
  EXPECT_EQ(c.GetCount(), 3);
  EXPECT_EQ(c.GetAt(2), one);
  EXPECT_EQ(c.GetAt(3), nullptr);
  EXPECT_EQ(c.GetAt(-1), nullptr);
}

// Each input is its own array, so positions are checked by identity.
struct SortedCase {
  const char* name;
  bool caseSensitive;
  bool allowDuplicates;
  std::vector<std::string> inputs;
  std::vector<bool> wantResults;
  std::vector<int> wantOrder;  // indexes into inputs
};
class SortedInsertion : public ::testing::TestWithParam<SortedCase> {};
TEST_P(SortedInsertion, PlacesAtTheLowerBound) {
  const SortedCase& k = GetParam();
  SortedStringCollection c(k.caseSensitive);
  std::vector<bool> results;
  for (const std::string& s : k.inputs) results.push_back(c.InsertSorted(s.c_str(), k.allowDuplicates));
  EXPECT_EQ(results, k.wantResults);
  std::vector<int> order;
  for (int i = 0; i < c.GetCount(); ++i)
    for (size_t j = 0; j < k.inputs.size(); ++j)
      if (c.GetAt(i) == k.inputs[j].c_str()) order.push_back(static_cast<int>(j));
  EXPECT_EQ(order, k.wantOrder);
}
INSTANTIATE_TEST_SUITE_P(
    SortedStringCollection, SortedInsertion,
    ::testing::Values(
        SortedCase{"FirstGoesAtZero", true, false, {"m"}, {true}, {0}},
        SortedCase{"NoCaseRefusesEqual", false, false, {"Apple", "apple"}, {true, false}, {0}},
        SortedCase{"NoCaseDuplicateGoesFirst", false, true, {"Apple", "apple"}, {true, true}, {1, 0}},
        SortedCase{"CaseKeepsBoth", true, false, {"apple", "Apple"}, {true, true}, {1, 0}},
        SortedCase{"CaseRefusesEqual", true, false, {"b", "a", "b"}, {true, true, false}, {1, 0}},
        SortedCase{"NewestEqualFirst", true, true, {"a", "b", "b", "c", "b"}, {true, true, true, true, true},
                   {0, 4, 2, 1, 3}},
        SortedCase{"Order", false, false, {"delta", "Alpha", "charlie", "bravo"}, {true, true, true, true},
                   {1, 3, 2, 0}}),
    [](const ::testing::TestParamInfo<SortedCase>& info) { return info.param.name; });

TEST(SortedStringCollection, FindsByBinarySearch) {
  SortedStringCollection c(true);
  const char* texts[] = {"a", "b", "b", "c"};
  for (const char* t : texts) ASSERT_TRUE(c.InsertSorted(t, true));
  EXPECT_EQ(c.Find("b"), 2);
  EXPECT_EQ(c.Find("a"), 0);
  EXPECT_EQ(c.Find("c"), 3);
  EXPECT_EQ(c.Find("d"), -1);
  EXPECT_EQ(c.Find("B"), -1);
  EXPECT_EQ(c.Find(nullptr), -1);
  EXPECT_FALSE(c.InsertSorted(nullptr, true));

  const char* fresh = "b";
  ASSERT_TRUE(c.InsertSorted(fresh, true));
  EXPECT_EQ(c.GetAt(1), fresh);
  SortedStringCollection noCase(false);
  ASSERT_TRUE(noCase.InsertSorted("Mixed", false));
  EXPECT_EQ(noCase.Find("mIXED"), 0);
}

// Threads inserting the same texts without duplicates: each text lands once, in order.
TEST(SortedStringCollection, SearchAndInsertAreOneStep) {
  std::vector<std::string> texts;
  for (int i = 0; i < 150; ++i) texts.push_back("t" + std::to_string(1000 + (i * 37) % 150));
  SortedStringCollection c(true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (const std::string& s : texts) c.InsertSorted(s.c_str(), false);
    });
  for (auto& t : threads) t.join();
  ASSERT_EQ(c.GetCount(), 150);
  for (int i = 1; i < c.GetCount(); ++i) EXPECT_LT(std::string(c.GetAt(i - 1)), std::string(c.GetAt(i)));
}

}  // namespace

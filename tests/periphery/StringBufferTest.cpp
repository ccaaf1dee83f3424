#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "PeripheryTestSupport.h"
#include "StringBuffer.h"

namespace {

std::string Text(const StringBuffer& b) { return b.GetText() ? b.GetText() : "(null)"; }

TEST(StringBuffer, GrowsWithSlackAndKeepsItsStorage) {
  StringBuffer b(16);
  EXPECT_EQ(b.GetText(), nullptr);
  EXPECT_TRUE(b.Append("hello"));
  EXPECT_EQ(b.GetCapacity(), 21u);
  EXPECT_EQ(b.GetLength(), 5u);
  EXPECT_TRUE(b.AppendBytes("abc", 3));
  EXPECT_EQ(b.GetLength(), 8u);
  EXPECT_EQ(b.GetText()[8], '\0');
  EXPECT_EQ(Text(b), "helloabc");
  EXPECT_TRUE(b.Assign(""));
  EXPECT_EQ(b.GetLength(), 0u);
  EXPECT_EQ(Text(b), "");
  EXPECT_TRUE(b.Assign("0123456789"));
  b.Clear();
  EXPECT_EQ(b.GetCapacity(), 21u);
  EXPECT_EQ(Text(b), "");
  b.Free();
  EXPECT_EQ(b.GetText(), nullptr);
  EXPECT_EQ(b.GetCapacity(), 0u);
  EXPECT_EQ(b.GetLength(), 0u);
}

struct GrowthCase {
  size_t growth;
  const char* first;
  const char* second;
  size_t wantCapacity;
};
class Growth : public ::testing::TestWithParam<GrowthCase> {};
TEST_P(Growth, ReallocatesOnlyWhenShort) {
  StringBuffer b(GetParam().growth);
  ASSERT_TRUE(b.Append(GetParam().first));
  ASSERT_TRUE(b.Append(GetParam().second));
  EXPECT_EQ(b.GetCapacity(), GetParam().wantCapacity);
  EXPECT_EQ(Text(b), std::string(GetParam().first) + GetParam().second);
}
INSTANTIATE_TEST_SUITE_P(StringBuffer, Growth,
                         ::testing::Values(GrowthCase{0, "abc", "de", 5}, GrowthCase{4, "abc", "de", 7},
                                           GrowthCase{4, "abc", "defghij", 14}, GrowthCase{SIZE_MAX, "abc", "de", 5},
                                           GrowthCase{SIZE_MAX - 3, "abc", "", 3}));

TEST(StringBuffer, EmptyAppendsOnANewBufferAllocateNothing) {
  StringBuffer b(16);
  EXPECT_TRUE(b.Append(""));
  EXPECT_TRUE(b.AppendBytes("x", 0));
  EXPECT_TRUE(b.Append(nullptr));
  EXPECT_TRUE(b.AppendBytes(nullptr, 0));
  EXPECT_EQ(b.GetText(), nullptr);
}

TEST(StringBuffer, NullTextIsEmpty) {
  StringBuffer b(4);
  ASSERT_TRUE(b.Assign("abc"));
  EXPECT_TRUE(b.Append(nullptr));
  EXPECT_EQ(Text(b), "abc");
  EXPECT_FALSE(b.AppendBytes(nullptr, 2));
  EXPECT_EQ(Text(b), "abc");
  EXPECT_TRUE(b.Assign(nullptr));
  EXPECT_EQ(Text(b), "");
  EXPECT_EQ(b.GetLength(), 0u);
}

TEST(StringBuffer, SizesThatOverflowAreRefused) {
  StringBuffer b(8);
  ASSERT_TRUE(b.Assign("hello"));
  size_t capacity = b.GetCapacity();
  EXPECT_FALSE(b.Reserve(SIZE_MAX));
  EXPECT_FALSE(b.Reserve(SIZE_MAX - 5));
  EXPECT_FALSE(b.AppendBytes("x", SIZE_MAX - 4));
  EXPECT_EQ(Text(b), "hello");
  EXPECT_EQ(b.GetCapacity(), capacity);
}

// Text from inside the buffer stays readable while the buffer moves or is emptied.
struct OwnTextCase {
  const char* name;
  size_t growth;
  bool assign;
  size_t offset;
  const char* want;
};
class OwnText : public ::testing::TestWithParam<OwnTextCase> {};
TEST_P(OwnText, IsCopiedBeforeItMoves) {
  const OwnTextCase& k = GetParam();
  StringBuffer b(k.growth);
  ASSERT_TRUE(b.Assign("hello world"));
  const char* own = b.GetText() + k.offset;
  EXPECT_TRUE(k.assign ? b.Assign(own) : b.Append(own));
  EXPECT_EQ(Text(b), k.want);
  EXPECT_EQ(b.GetLength(), std::string(k.want).size());
}
INSTANTIATE_TEST_SUITE_P(StringBuffer, OwnText,
                         ::testing::Values(OwnTextCase{"AssignWhole", 0, true, 0, "hello world"},
                                           OwnTextCase{"AssignTail", 0, true, 6, "world"},
                                           OwnTextCase{"AssignEnd", 0, true, 11, ""},
                                           OwnTextCase{"AppendWhole", 0, false, 0, "hello worldhello world"},
                                           OwnTextCase{"AppendTail", 0, false, 6, "hello worldworld"},
                                           OwnTextCase{"AppendWithSlack", 64, false, 0, "hello worldhello world"}),
                         [](const ::testing::TestParamInfo<OwnTextCase>& info) { return info.param.name; });

// When the slack cannot be had, the exact size is taken.
TEST(StringBuffer, FallsBackToTheExactSize) {
  StringBuffer fresh(16);
  {
    qeltest::FailLocalBlocks noSlack(5 + 2, SIZE_MAX);  // more than "hello" and its terminator
    EXPECT_TRUE(fresh.Append("hello"));
  }
  EXPECT_EQ(fresh.GetCapacity(), 5u);

  StringBuffer grown(16);
  ASSERT_TRUE(grown.Append("abc"));  // capacity 19
  {
    qeltest::FailLocalBlocks noSlack(25 + 2, SIZE_MAX);
    EXPECT_TRUE(grown.Append("0123456789012345678901"));  // needs 25
  }
  EXPECT_EQ(grown.GetCapacity(), 25u);
  EXPECT_EQ(Text(grown), "abc0123456789012345678901");
}

TEST(StringBuffer, NoMemoryKeepsTheTextExceptForAssign) {
  StringBuffer b(0);
  ASSERT_TRUE(b.Assign("abc"));
  qeltest::FailLocalBlocks noMemory(0, SIZE_MAX);
  EXPECT_FALSE(b.Append("defg"));
  EXPECT_EQ(Text(b), "abc");
  EXPECT_EQ(b.GetCapacity(), 3u);
  EXPECT_TRUE(b.Append(""));
  EXPECT_FALSE(b.Assign("longer"));
  EXPECT_EQ(Text(b), "");

  StringBuffer none(8);
  EXPECT_FALSE(none.Append("x"));
  EXPECT_EQ(none.GetText(), nullptr);
}

}  // namespace

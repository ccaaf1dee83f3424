#include <gtest/gtest.h>

#include <string>

#include "PeripheryTestSupport.h"
#include "ResourceString.h"
#include "TestStrings.h"

namespace {

std::string Alphabet(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('A' + i % 26);
  return s;
}

struct LoadCase {
  const char* name;
  UINT id;
  std::string want;
};
class Loading : public ::testing::TestWithParam<LoadCase> {};
TEST_P(Loading, LoadsFromTheStringTable) {
  ResourceString s(GetModuleHandleA(nullptr), GetParam().id);
  EXPECT_EQ(std::string(s.GetText()), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(ResourceString, Loading,
                         ::testing::Values(LoadCase{"Short", IDS_SHORT, "Radio on"},
                                           LoadCase{"LongIsCutTo511", IDS_LONG, Alphabet(511)},
                                           LoadCase{"MissingIsEmpty", IDS_MISSING, ""}),
                         [](const ::testing::TestParamInfo<LoadCase>& info) { return info.param.name; });

TEST(ResourceString, EachLoadReplacesTheText) {
  ResourceString s;
  EXPECT_STREQ(s.GetText(), "");
  HINSTANCE self = GetModuleHandleA(nullptr);
  const char* first = s.Load(self, IDS_LONG);
  EXPECT_EQ(std::string(first).size(), 511u);
  EXPECT_STREQ(s.Load(self, IDS_SHORT), "Radio on");
  EXPECT_EQ(s.GetText(), first);  // the same buffer
  EXPECT_STREQ(s.Load(self, IDS_MISSING), "");
}

TEST(ResourceString, NoBufferGivesTheEmptyText) {
  ResourceString s;
  qeltest::FailLocalBlocks noMemory(0, SIZE_MAX);
  EXPECT_STREQ(s.Load(GetModuleHandleA(nullptr), IDS_SHORT), "");
}

}  // namespace

// Bounded copy, append and formatting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "SafeString.h"

namespace {

struct BoundCase {
  const char* name;
  const char* initial;  // destination before the call (Cat); "" for Copy
  const char* source;
  uint32_t size;
  const char* want;
};

// The buffer is wider than size, filled with '#', so a write past size shows.
std::string RunBounded(char* (*fn)(char*, const char*, uint32_t), const BoundCase& c, std::string* tail) {
  char buf[32];
  std::memset(buf, '#', sizeof(buf));
  std::memcpy(buf, c.initial, std::strlen(c.initial) + 1);
  fn(buf, c.source, c.size);
  size_t untouchedFrom = std::max<size_t>(c.size, std::strlen(c.initial) + 1);
  *tail = std::string(buf + untouchedFrom, buf + 32);
  return std::string(buf);
}

class CopyBounds : public ::testing::TestWithParam<BoundCase> {};
TEST_P(CopyBounds, NeverWritesPastSizeAndTerminates) {
  std::string tail;
  EXPECT_EQ(RunBounded(static_cast<char* (*)(char*, const char*, uint32_t)>(SafeStrCopy), GetParam(), &tail), GetParam().want);
  EXPECT_EQ(tail.find_first_not_of('#'), std::string::npos);
  EXPECT_EQ(RunBounded(SafeAnsiCopy, GetParam(), &tail), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(Sizes, CopyBounds, ::testing::Values(
    BoundCase{"size0", "ab", "xyz", 0, "ab"},  // untouched: "ab\0"
    BoundCase{"size1", "", "xyz", 1, ""},
    BoundCase{"exact", "", "abcdefg", 8, "abcdefg"},
    BoundCase{"oneOver", "", "abcdefgh", 8, "abcdefg"},
    BoundCase{"tenInto8", "", "abcdefghij", 8, "abcdefg"},
    BoundCase{"null", "", nullptr, 8, ""}),
    [](const auto& i) { return std::string(i.param.name); });

class CatBounds : public ::testing::TestWithParam<BoundCase> {};
TEST_P(CatBounds, NeverWritesPastSizeAndTerminates) {
  std::string tail;
  EXPECT_EQ(RunBounded(static_cast<char* (*)(char*, const char*, uint32_t)>(SafeStrCat), GetParam(), &tail), GetParam().want);
  EXPECT_EQ(tail.find_first_not_of('#'), std::string::npos);
  EXPECT_EQ(RunBounded(SafeAnsiCat, GetParam(), &tail), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(Sizes, CatBounds, ::testing::Values(
    BoundCase{"size0", "ab", "xyz", 0, "ab"},
    BoundCase{"size1", "", "xyz", 1, ""},
    BoundCase{"exact", "abc", "defg", 8, "abcdefg"},
    BoundCase{"oneOver", "abc", "defgh", 8, "abcdefg"},
    BoundCase{"full", "abcdefg", "xyz", 8, "abcdefg"},
    BoundCase{"fullerThanSize", "abcdefghijk", "xyz", 8, "abcdefg"},
    BoundCase{"nullSource", "abc", nullptr, 8, "abc"}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(SafeStrCat, UnterminatedDestinationGetsNothingAndIsTerminatedInside) {
  char buf[12];
  std::memset(buf, 'z', sizeof(buf));
  SafeStrCat(buf, "xyz", 8);  // no terminator within the first 8
  EXPECT_EQ(std::string(buf, 8), std::string("zzzzzzz\0", 8));
  EXPECT_EQ(std::string(buf + 8, 4), "zzzz");
}

TEST(SafeWcs, CopyAndCatCountWideCharacters) {
  wchar_t buf[10];
  std::wmemset(buf, L'#', 10);
  SafeWcsCopy(buf, L"abcdefgh", 6);
  EXPECT_EQ(std::wstring(buf), L"abcde");
  EXPECT_EQ(buf[6], L'#');
  SafeWcsCopy(buf, L"ab", 6);
  SafeWcsCat(buf, L"cdefg", 6);
  EXPECT_EQ(std::wstring(buf), L"abcde");
}

struct PrintCase {
  const char* name;
  uint32_t size;
  const char* text;
  uint32_t want;
  const char* buffer;
};
class Snprintf : public ::testing::TestWithParam<PrintCase> {};
TEST_P(Snprintf, WritesTheWholeTextOrNothing) {
  char buf[16];
  std::memset(buf, '#', sizeof(buf));
  EXPECT_EQ(SafeSnprintf(buf, GetParam().size, "%s", GetParam().text), GetParam().want);
  if (GetParam().size) {
    EXPECT_STREQ(buf, GetParam().buffer);
  }
  EXPECT_EQ(buf[GetParam().size ? GetParam().size : 0], '#');
  wchar_t wbuf[16];
  std::wstring wide(GetParam().text, GetParam().text + std::strlen(GetParam().text));
  EXPECT_EQ(SafeSnwprintf(wbuf, GetParam().size, L"%s", wide.c_str()), GetParam().want);
}
INSTANTIATE_TEST_SUITE_P(Sizes, Snprintf, ::testing::Values(
    PrintCase{"size0", 0, "abc", 0, ""},
    PrintCase{"size1", 1, "a", 0, ""},
    PrintCase{"exact", 8, "abcdefg", 7, "abcdefg"},
    PrintCase{"oneOver", 8, "abcdefgh", 0, ""},
    PrintCase{"empty", 8, "", 0, ""}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(Mbs, WrappersFollowTheCLibrary) {
  EXPECT_EQ(MbsCompareNoCase("TBDOL_TRACE", "tbdol_trace"), 0);
  EXPECT_LT(MbsCompare("ABC", "abc"), 0);
  EXPECT_EQ(MbsCompareNoCaseN("abcX", "ABCy", 3), 0);
  const char* text = "a:\\b";
  EXPECT_EQ(MbsFindChar(text, ':'), text + 1);
  EXPECT_EQ(MbsFindText(text, ":\\"), text + 1);
  char upper[] = "QelVxAux";
  MbsUpper(upper);
  EXPECT_STREQ(upper, "QELVXAUX");
}

}  // namespace

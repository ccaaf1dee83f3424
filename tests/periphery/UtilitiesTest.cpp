#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>

#include "SafeString.h"
#include "Utilities.h"

namespace {

struct RangeCase {
  int low;
  int high;
  bool everyValue;  // small ranges: all values appear in 4000 draws
};
class Random : public ::testing::TestWithParam<RangeCase> {};
TEST_P(Random, StaysInsideTheRange) {
  int lo = std::min(GetParam().low, GetParam().high);
  int hi = std::max(GetParam().low, GetParam().high);
  srand(7);
  std::set<int> seen;
  for (int i = 0; i < 4000; ++i) {
    int r = RandomInRange(GetParam().low, GetParam().high);
    ASSERT_GE(r, lo);
    ASSERT_LE(r, hi);
    seen.insert(r);
  }
  if (GetParam().everyValue)
    EXPECT_EQ(seen.size(), static_cast<size_t>(int64_t{hi} - lo + 1));
  else
    EXPECT_GT(seen.size(), 1000u);  // spread over the range, not stuck at one end
}
INSTANTIATE_TEST_SUITE_P(Utilities, Random,
                         ::testing::Values(RangeCase{5, 5, true}, RangeCase{0, 9, true}, RangeCase{-3, 3, true},
                                           RangeCase{9, 0, true}, RangeCase{INT_MAX - 1, INT_MAX, true},
                                           RangeCase{INT_MIN, INT_MIN + 2, true}, RangeCase{INT_MIN, INT_MAX, false},
                                           RangeCase{INT_MAX, INT_MIN, false}, RangeCase{-1, INT_MAX, false}));

// Pages with a chosen protection, released at the end.
class Pages {
 public:
  explicit Pages(int count) : size_(PageSize() * count) {
    base_ = static_cast<char*>(VirtualAlloc(nullptr, size_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~Pages() { VirtualFree(base_, 0, MEM_RELEASE); }
  static size_t PageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
  }
  char* Page(int i) const { return base_ + i * PageSize(); }
  void Protect(int i, DWORD protection) const {
    DWORD old;
    ASSERT_TRUE(VirtualProtect(Page(i), PageSize(), protection, &old));
  }

 private:
  size_t size_;
  char* base_;
};

struct ProtectCase {
  const char* name;
  DWORD protection;
  bool readable;
  bool writable;
};
class Protections : public ::testing::TestWithParam<ProtectCase> {};
TEST_P(Protections, FollowThePageProtection) {
  Pages pages(1);
  std::memcpy(pages.Page(0), "text", 5);
  pages.Protect(0, GetParam().protection);
  EXPECT_EQ(IsReadablePointer(pages.Page(0), 16), GetParam().readable);
  EXPECT_EQ(IsWritablePointer(pages.Page(0), 16), GetParam().writable);
  EXPECT_EQ(IsReadableString(pages.Page(0)), GetParam().readable);
  EXPECT_EQ(IsWritableString(pages.Page(0)), GetParam().writable);
  pages.Protect(0, PAGE_READWRITE);
}
INSTANTIATE_TEST_SUITE_P(Utilities, Protections,
                         ::testing::Values(ProtectCase{"ReadWrite", PAGE_READWRITE, true, true},
                                           ProtectCase{"ReadOnly", PAGE_READONLY, true, false},
                                           ProtectCase{"ExecuteRead", PAGE_EXECUTE_READ, true, false},
                                           ProtectCase{"NoAccess", PAGE_NOACCESS, false, false},
                                           ProtectCase{"Guard", PAGE_READWRITE | PAGE_GUARD, false, false}),
                         [](const ::testing::TestParamInfo<ProtectCase>& info) { return info.param.name; });

TEST(Utilities, RangesMustBeAccessibleToTheirLastByte) {
  Pages pages(2);
  pages.Protect(1, PAGE_NOACCESS);
  size_t page = Pages::PageSize();
  char* last = pages.Page(1) - 4;
  EXPECT_TRUE(IsReadablePointer(pages.Page(0), static_cast<uint32_t>(page)));
  EXPECT_TRUE(IsWritablePointer(last, 4));
  EXPECT_FALSE(IsReadablePointer(last, 5));
  EXPECT_FALSE(IsWritablePointer(last, 5));
  EXPECT_TRUE(IsReadablePointer(nullptr, 0));  // nothing to touch
  EXPECT_FALSE(IsReadablePointer(nullptr, 1));
  EXPECT_FALSE(IsReadablePointer(reinterpret_cast<void*>(UINTPTR_MAX - 2), 10));  // wraps
  EXPECT_TRUE(IsReadablePointer("literal", 8));
  EXPECT_FALSE(IsWritablePointer(const_cast<char*>("literal"), 8));
  pages.Protect(1, PAGE_READWRITE);
}

// A string that reaches an inaccessible page without its terminator is not a string.
TEST(Utilities, StringsAreMeasuredWithoutFaults) {
  Pages pages(2);
  pages.Protect(1, PAGE_NOACCESS);
  char* tail = pages.Page(1) - 4;
  std::memcpy(tail, "abc", 4);  // ends with the page
  EXPECT_TRUE(IsReadableString(tail));
  EXPECT_TRUE(IsWritableString(tail));
  EXPECT_TRUE(IsReadableString(reinterpret_cast<const unsigned char*>(tail)));
  tail[3] = 'd';  // no terminator before the inaccessible page
  EXPECT_FALSE(IsReadableString(tail));
  EXPECT_FALSE(IsWritableString(reinterpret_cast<unsigned char*>(tail)));
  EXPECT_FALSE(IsReadableString(static_cast<const char*>(nullptr)));
  EXPECT_FALSE(IsWritableString(static_cast<char*>(nullptr)));

  auto* wide = reinterpret_cast<wchar_t*>(pages.Page(1)) - 3;
  std::memcpy(wide, L"xy", 3 * sizeof(wchar_t));
  EXPECT_TRUE(IsReadableWideString(wide));
  EXPECT_TRUE(IsWritableWideString(wide));
  wide[2] = L'z';
  EXPECT_FALSE(IsReadableWideString(wide));
  EXPECT_FALSE(IsWritableWideString(wide));
  EXPECT_FALSE(IsReadableWideString(nullptr));
  EXPECT_TRUE(IsReadableWideString(L"literal"));
  EXPECT_FALSE(IsWritableWideString(const_cast<wchar_t*>(L"literal")));
  pages.Protect(1, PAGE_READWRITE);
}

// An odd-aligned wide terminator straddling two regions of different protection.
TEST(Utilities, WideCharactersMayStraddleRegions) {
  Pages pages(2);
  char* edge = pages.Page(1) - 1;
  std::memset(edge, 0, 2);
  pages.Protect(1, PAGE_READONLY);
  const auto* s = reinterpret_cast<const wchar_t*>(edge);
  EXPECT_TRUE(IsReadableWideString(s));
  EXPECT_FALSE(IsWritableWideString(const_cast<wchar_t*>(s)));
  pages.Protect(1, PAGE_NOACCESS);
  EXPECT_FALSE(IsReadableWideString(s));
  pages.Protect(1, PAGE_READWRITE);
}

TEST(Utilities, TextOrEmptyAcceptsNullAtEitherLevel) {
  const char* text = "radio";
  const char* none = nullptr;
  EXPECT_STREQ(TextOrEmpty(&text), "radio");
  EXPECT_STREQ(TextOrEmpty(&none), "");
  EXPECT_STREQ(TextOrEmpty(nullptr), "");
}

TEST(Utilities, MultibyteHelpers) {
  const char* text = "modem on";
  EXPECT_EQ(MbsFindString(text, "em"), text + 3);
  EXPECT_EQ(MbsFindString(text, "off"), nullptr);
  EXPECT_EQ(MbsFindString(text, ""), text);
  EXPECT_STREQ(MbsFindString("", ""), "");
  char upper[] = "Radio 3g";
  EXPECT_EQ(MbsUpper(upper), upper);
  EXPECT_STREQ(upper, "RADIO 3G");
}

}  // namespace

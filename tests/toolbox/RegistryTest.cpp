// One-value registry readers and writers against real keys.
#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>

#include "Registry.h"
#include "TestSupport.h"

namespace {

constexpr const char* kKey = "Software\\QelRegistryTest";

class RegistryFixture : public ::testing::Test {
 protected:
  void SetUp() override { qeltest::DeleteTree(HKEY_CURRENT_USER, kKey); }
  void TearDown() override { qeltest::DeleteTree(HKEY_CURRENT_USER, kKey); }
  void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), 0);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
  }
};

TEST_F(RegistryFixture, DwordReaderTakesAnyFourByteValue) {
  SetRaw("sz3", REG_SZ, "abc", 4);
  DWORD v = 7;
  ASSERT_TRUE(RegReadDword(HKEY_CURRENT_USER, kKey, "sz3", &v));
  EXPECT_EQ(v, 0x00636261u);

  unsigned long long q = 1;
  SetRaw("qword", REG_QWORD, &q, 8);
  SetRaw("two", REG_BINARY, "ab", 2);
  for (const char* name : {"qword", "two", "missing"}) {
    v = 7;
    EXPECT_FALSE(RegReadDword(HKEY_CURRENT_USER, kKey, name, &v)) << name;
    EXPECT_EQ(v, 7u) << name;
  }
  EXPECT_FALSE(RegReadDword(HKEY_CURRENT_USER, kKey, "sz3", nullptr));
}

TEST_F(RegistryFixture, BoolIsNonZero) {
  ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, kKey, "d", 2));
  bool b = false;
  ASSERT_TRUE(RegReadBool(HKEY_CURRENT_USER, kKey, "d", &b));
  EXPECT_TRUE(b);
  ASSERT_TRUE(RegWriteBool(HKEY_CURRENT_USER, kKey, "b", false));
  ASSERT_TRUE(RegReadBool(HKEY_CURRENT_USER, kKey, "b", &b));
  EXPECT_FALSE(b);
  DWORD raw = 9;
  ASSERT_TRUE(RegWriteBool(HKEY_CURRENT_USER, kKey, "t", true));
  ASSERT_TRUE(RegReadDword(HKEY_CURRENT_USER, kKey, "t", &raw));
  EXPECT_EQ(raw, 1u);
}

TEST_F(RegistryFixture, ReadingUnderAMissingSubkeyFailsAndCreatesIt) {
  DWORD v = 0;
  EXPECT_FALSE(RegReadDword(HKEY_CURRENT_USER, kKey, "x", &v));
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD values = 99;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                   nullptr, nullptr);
  EXPECT_EQ(values, 0u);
  RegCloseKey(key);
}

TEST_F(RegistryFixture, StringReaderAlwaysTerminates) {
  ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, kKey, "s", "0123456789"));
  char buf[8];
  std::memset(buf, '#', sizeof(buf));
  EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, kKey, "s", buf, 8));
  EXPECT_EQ(buf[7], 0);
  char fit[11];
  DWORD type = 0;
  ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, kKey, "s", fit, 11, &type));
  EXPECT_STREQ(fit, "0123456789");
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  // Stored without a terminator and shorter than the buffer: the text ends where the data
  // does. Wine terminates such REG_SZ data itself; binary data comes back as stored.
  for (DWORD type : {REG_SZ, REG_BINARY}) {
    SetRaw("raw", type, "abcdef", 3);
    std::memset(fit, '#', sizeof(fit));
    ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, kKey, "raw", fit, 11)) << type;
    EXPECT_STREQ(fit, "abc") << type;
  }
  EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, kKey, "s", nullptr, 8));
  EXPECT_FALSE(RegWriteString(HKEY_CURRENT_USER, kKey, "n", nullptr));
}

TEST_F(RegistryFixture, BinaryNeedsTheExactSize) {
  const unsigned char data[5] = {1, 2, 3, 4, 5};
  ASSERT_TRUE(RegWriteBinary(HKEY_CURRENT_USER, kKey, "b", data, 5));
  unsigned char out[8] = {};
  EXPECT_TRUE(RegReadBinary(HKEY_CURRENT_USER, kKey, "b", out, 5));
  EXPECT_EQ(std::memcmp(out, data, 5), 0);
  EXPECT_FALSE(RegReadBinary(HKEY_CURRENT_USER, kKey, "b", out, 6));
  EXPECT_FALSE(RegReadBinary(HKEY_CURRENT_USER, kKey, "b", out, 4));
}

TEST_F(RegistryFixture, WideFormsCountWideCharacters) {
  ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, L"Software\\QelRegistryTest", L"w", L"wide\u00e9"));
  wchar_t buf[6];
  ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, L"Software\\QelRegistryTest", L"w", buf, 6));
  EXPECT_STREQ(buf, L"wide\u00e9");
  EXPECT_FALSE(RegReadString(HKEY_CURRENT_USER, L"Software\\QelRegistryTest", L"w", buf, 5));
  SetRaw("wraw", REG_BINARY, L"abcdef", 3 * sizeof(wchar_t));
  std::wmemset(buf, L'#', 6);
  ASSERT_TRUE(RegReadString(HKEY_CURRENT_USER, L"Software\\QelRegistryTest", L"wraw", buf, 6));
  EXPECT_STREQ(buf, L"abc");
  DWORD v = 0;
  ASSERT_TRUE(RegWriteDword(HKEY_CURRENT_USER, L"Software\\QelRegistryTest", L"d", 5));
  ASSERT_TRUE(RegReadDword(HKEY_CURRENT_USER, L"Software\\QelRegistryTest", L"d", &v));
  EXPECT_EQ(v, 5u);
}

}  // namespace

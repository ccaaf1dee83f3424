// Conversions and display forms.
#include <gtest/gtest.h>

#include <string>

#include "Convert.h"

namespace {

std::string Text(const LocalAllocPtr<char>& p) { return p ? std::string(p.get()) : std::string("<empty>"); }
std::wstring Text(const LocalAllocPtr<wchar_t>& p) { return p ? std::wstring(p.get()) : std::wstring(L"<empty>"); }

TEST(Convert, StopCharacterEndsTheCopy) {
  EXPECT_EQ(Text(WideToAnsi(L"KEY=VALUE", L'=')), "KEY");
  EXPECT_EQ(Text(WideToAnsi(L"KEY=VALUE", 0)), "KEY=VALUE");
  EXPECT_EQ(Text(WideToAnsi(L"KEYVALUE", L'=')), "KEYVALUE");
  EXPECT_EQ(Text(AnsiToWide("KEY=VALUE", '=')), L"KEY");
  EXPECT_EQ(Text(WideCopy(L"KEY=VALUE", L'=')), L"KEY");
  EXPECT_EQ(Text(AnsiCopy("KEY=VALUE", '=')), "KEY");
  EXPECT_EQ(Text(AnsiCopy("caf\xe9-au-lait", '\xe9')), "caf");  // a stop byte above 0x7F
}

TEST(Convert, NullAndEmptyInputs) {
  EXPECT_FALSE(WideToAnsi(nullptr, 0));
  EXPECT_FALSE(AnsiToWide(nullptr, 0));
  EXPECT_FALSE(AnsiCopy(nullptr, 0));
  EXPECT_FALSE(WideCopy(nullptr, 0));
  EXPECT_FALSE(AnsiDuplicate(nullptr));
  EXPECT_FALSE(EscapeCrLf(nullptr, '\r', '\n'));
  EXPECT_FALSE(EscapeBytes(nullptr, 3, true, 13, 10));
  EXPECT_FALSE(HexDump(nullptr, 3));
  EXPECT_EQ(Text(WideToAnsi(L"", 0)), "");  // an empty text is a one-byte buffer
  EXPECT_FALSE(WideToLatin1(L""));          // but Latin-1 gives none
  EXPECT_EQ(Text(HexDump("", 0)), "");
}

TEST(Convert, HighBytesRoundTripThroughTheAnsiCodePage) {
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b) high += static_cast<char>(b);
  auto wide = AnsiToWide(high.c_str(), 0);
  ASSERT_TRUE(wide);
  wchar_t direct[256] = {};
  int n = MultiByteToWideChar(CP_ACP, 0, high.c_str(), -1, direct, 256);
  EXPECT_EQ(Text(wide), std::wstring(direct, n - 1));
  if (GetACP() == 1252) {
    EXPECT_EQ(wide.get()[0xE9 - 0x80], L'\u00e9');
  }
  EXPECT_EQ(Text(WideToAnsi(wide.get(), 0)), high);
  EXPECT_EQ(Text(AnsiCopy(high.c_str(), 0)), high);
  EXPECT_EQ(Text(AnsiDuplicate(high.c_str())), high);
}

TEST(Convert, Latin1TakesLowCharactersAndMarksTheRest) {
  EXPECT_EQ(Text(WideToLatin1(L"\u00e9t\u20ac")), "\xe9t?");
  EXPECT_EQ(Text(WideToLatin1(L"\u00ff\u0100")), "\xff?");
}

TEST(Convert, UnconvertibleCharactersBecomeReplacements) {
  auto ansi = WideToAnsi(L"a\u4e2db", 0);
  ASSERT_TRUE(ansi);
  char direct[16] = {};
  WideCharToMultiByte(CP_ACP, 0, L"a\u4e2db", -1, direct, 16, nullptr, nullptr);
  EXPECT_EQ(Text(ansi), direct);
}

TEST(Convert, EscapeCrLfMarksLineEnds) {
  EXPECT_EQ(Text(EscapeCrLf("A\r\nB", '\r', '\n')), "A<cr><lf>B");
  EXPECT_EQ(Text(EscapeCrLf("\n\n\r", '\r', '\n')), "<lf><lf><cr>");
  EXPECT_EQ(Text(EscapeCrLf("x|y", '|', '|')), "x<cr>y");
}

TEST(Convert, EscapeBytesMakesEveryBytePrintable) {
  const unsigned char bytes[] = {0x41, 0x00, 0x0D, 0xFF};
  EXPECT_EQ(Text(EscapeBytes(bytes, 4, true, 0x0D, 0x0A)), "A[00]<cr>[ff]");
  EXPECT_EQ(Text(EscapeBytes(bytes, 4, false, 0x0D, 0x0A)), "A?<cr>?");
  std::string high, want;
  for (int b = 0x80; b <= 0xFF; ++b) {
    high += static_cast<char>(b);
    char hex[8];
    snprintf(hex, sizeof(hex), "[%02x]", b);
    want += hex;
  }
  EXPECT_EQ(Text(EscapeBytes(high.data(), static_cast<uint32_t>(high.size()), true, 0x0D, 0x0A)), want);
}

TEST(Convert, HexDumpBreaksLinesEvery16Bytes) {
  unsigned char bytes[17];
  for (int i = 0; i < 17; ++i) bytes[i] = static_cast<unsigned char>(i);
  std::string want;
  for (int i = 0; i < 16; ++i) {
    char hex[4];
    snprintf(hex, sizeof(hex), "%02x ", i);
    want += hex;
  }
  want += "\n10 ";
  EXPECT_EQ(Text(HexDump(bytes, 17)), want);
  EXPECT_EQ(Text(HexDump(bytes, 16)).size(), 48u);
  const unsigned char high[] = {0x80, 0xff};
  EXPECT_EQ(Text(HexDump(high, 2)), "80 ff ");
}

}  // namespace
